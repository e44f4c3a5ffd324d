// The desktop program (see app.h). The program directory is the directory of argv[0]
// (not Qt's application directory, which resolves links to the binary). The common
// library runs in its desktop profile: its failures are written to standard error and
// the program goes on.
#include "desktop/app.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QLocale>
#include <QResource>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>

#include "common/strings.h"
#include "desktop/forms/welcome_form.h"
#include "desktop/main_form.h"
#include "desktop/message_box.h"
#include "desktop/messages.h"
#include "desktop/text_ids.h"
#include "desktop/texts.h"
#include "platform/paths.h"

namespace qm {
namespace {

int g_signal_pipe[2] = {-1, -1};

void on_stop_signal(int) {
  const char c = 1;
  [[maybe_unused]] ssize_t n = write(g_signal_pipe[1], &c, 1);
}

// SIGTERM and SIGINT close the main window as its Close command does; the handler only
// writes a byte that the event loop picks up.
void install_stop_signals(TMainForm* form) {
  if (pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_signal_pipe[0], QSocketNotifier::Read, form);
  QObject::connect(notifier, &QSocketNotifier::activated, form, [form] {
    char buffer[16];
    while (read(g_signal_pipe[0], buffer, sizeof buffer) > 0) {
    }
    form->close();
  });
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
}

std::string language_of_locale() {
  // LC_ALL, LC_MESSAGES and LANG first, as the C library orders them; else Qt's view.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) return texts_language_for(v);
  }
  return texts_language_for(QLocale::system().name().toStdString());
}

}  // namespace

bool desktop_load_resources(const std::string& program_dir, const std::string& language) {
  static std::string registered;
  const std::string rcc = program_dir + "quillmere.rcc";
  desktop_texts().clear();
  if (registered != rcc) {
    if (!registered.empty())
      QResource::unregisterResource(QFile::decodeName(QByteArray::fromStdString(registered)));
    registered.clear();
    if (!QResource::registerResource(QFile::decodeName(QByteArray::fromStdString(rcc)))) {
      std::fprintf(stderr, "quillmere: cannot read %s: every text is empty\n", rcc.c_str());
      return false;
    }
    registered = rcc;
  }
  QFile table(QString::fromStdString(":/quillmere/strings-" + language + ".tsv"));
  if (!table.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "quillmere: %s has no texts for %s\n", rcc.c_str(), language.c_str());
    return false;
  }
  const QByteArray bytes = table.readAll();
  desktop_texts().parse(std::string_view(bytes.constData(), size_t(bytes.size())));
  return true;
}

QPixmap desktop_picture(const char* name) {
  const std::string& file = desktop_texts().picture(name);
  if (file.empty()) return QPixmap();
  return QPixmap(QString::fromStdString(":/quillmere/" + file));
}

std::unique_ptr<TMainForm> desktop_create_main_window(const std::string& program_dir) {
  auto form = std::make_unique<TMainForm>(program_dir);
  if (!form->FormCreate()) return nullptr;
  return form;
}

bool desktop_catch(const std::function<void()>& body) {
  std::string what;
  try {
    body();
    return true;
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
    what = "unknown exception";
  }
  std::fprintf(stderr, "quillmere: %s\n", what.c_str());
  // One message, however many events fail while it is shown.
  static bool reporting = false;
  if (!reporting) {
    reporting = true;
    ShowMessageText(load_text(text::kMsgProgramError) + what, text::kCaptionError, kStyleStop);
    reporting = false;
  }
  return false;
}

namespace {
// The application whose event handlers may throw: an exception that no handler caught is
// shown, and the program ends its event loop with code 1.
class DesktopApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    bool handled = false;
    if (!desktop_catch([&] { handled = QApplication::notify(receiver, event); })) QCoreApplication::exit(1);
    return handled;
  }
};
}  // namespace

int quillmere_main(int argc, char** argv, const DesktopStartHooks* hooks) {
  const std::string program_dir = program_dir_from_argv0(argc > 0 ? argv[0] : "");
  common_set_desktop_profile(true);

  DesktopApplication app(argc, argv);
  desktop_load_resources(program_dir, language_of_locale());
  QtMessageSink sink;
  message_set_sink(hooks && hooks->sink ? hooks->sink : &sink);

  auto splash = std::make_unique<TWelcomeForm>();
  splash->show();
  splash->repaint();
  QApplication::processEvents();

  int code = 1;
  // An exception from the start-up or the event loop is shown (over the main window while
  // it stands) before the program ends.
  std::unique_ptr<TMainForm> form;
  desktop_catch([&] {
    form = desktop_create_main_window(program_dir);
    if (!form) return;
    sink.set_parent(form.get());
    form->set_on_first_show([&splash] { splash.reset(); });
    install_stop_signals(form.get());
    if (hooks && hooks->opener) form->set_shell_opener(hooks->opener);
    if (hooks && hooks->on_window) hooks->on_window(*form);
    form->show();
    code = app.exec();
  });
  form.reset();
  message_set_sink(nullptr);
  return code;
}

}  // namespace qm
