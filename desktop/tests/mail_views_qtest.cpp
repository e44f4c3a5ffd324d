// A mail database built by the real indexer through libpostbridge.so from the fixture
// mailbox, searched from the main window with the real searcher and marker, offscreen:
// the subject, date and sender columns and the attachment icon of a mail hit, and the
// full view with the header table, the body without the attachment text, and a link to
// the saved attachment.
#include <QAction>
#include <QComboBox>
#include <QTreeView>
#include <QtTest>

#include <filesystem>

#include "common/strings.h"
#include "desktop/app.h"
#include "desktop/catalogue/folder_dat.h"
#include "desktop/forms/database_tree.h"
#include "desktop/hit_list_model.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/tests/sink_fixture.h"
#include "desktop/texts.h"
#include "mail/side_files_format.h"
#include "platform/le.h"
#include "platform/process.h"
#include "testsupport/test_files.h"

using namespace qm;
namespace fs = std::filesystem;

class MailViewsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<test::TempDir> dir_;
  std::unique_ptr<TMainForm> form_;
  ScriptedMessageSink sink_;

 private slots:
  void initTestCase() { common_set_desktop_profile(true); }
  void init() {
    dir_ = std::make_unique<test::TempDir>("qm-mailviews-");
    const std::string root = dir_->path();
    test::program_dir_from_dist(root, {"searcher", "marker", "indexer", "libpostbridge.so", "big5.dat", "big5.ref",
                                       "desktop_hits.htm"});
    const std::string box = std::string(QM_SOURCE_DIR) + "/mail/tests/fixtures/all-lf.mbox";
    test::write_file(*dir_ / "vesprin.ini",
                     "[VESPRIN]\nSearcher=/cgi-bin/searcher\nHomePage=/\nSystemAdm=a@b\n"
                     "TmplNextQuery=desktop_hits.htm\n[INDEX]\n1=1\n"
                     "[DB-1]\nDescription=Inbox\nWorkDir=" + root + "db/mail/\nHtmlDir=" + box +
                     "\nDataInputPort=" + root + "postbridge.dll;" + box + ";" + root + "db/mail/\n"
                     "Mail=1\nAttach=1\n");
    ProcessOptions o;
    o.argv = {root + "indexer", "-mail", "-ncl", "-w0", "-f10", "-x1"};
    o.timeout_ms = 120000;
    const ProcessResult built = process_run(o);
    QVERIFY2(built.output.find("\x1A\x1A") != std::string::npos, built.output.c_str());
    folder_dat_write(*dir_ / "Folder.dat", {{true, 4, 0, -1, "Databases"}, {false, 4, 1, 1, "Inbox"}});

    form_ = test::open_main_window(root, sink_);
    QVERIFY(form_);
  }
  void cleanup() {
    QCOMPARE(QString::fromStdString(sink_.failures()), QString());
    test::close_main_window(form_);
    dir_.reset();
  }

  void mailHitColumnsAndFullView() {
    form_->tvDB->model().find_database(1)->state = kStateChecked;
    // "fork" stands only in the BinHex attachment of the message "binhex part".
    form_->cmbSrchHistory->setEditText(QStringLiteral("fork"));
    form_->btnSearchClick();
    QCOMPARE(form_->hits()->rowCount(), 1);
    QCOMPARE(form_->hits()->columnCount(), 6);
    QCOMPARE(form_->hits()->text(0, 1), QStringLiteral("binhex part"));
    QVERIFY(form_->hits()->text(0, 5).contains(QStringLiteral("Ann")));
    QCOMPARE(form_->hits()->row(0).image, 2);  // the attachment icon

    // The date column shows the message's date as postbridge stored it.
    const std::string work = dir_->path() + "db/mail/";
    const std::string property = test::read_file(work + "MailProperty.db");
    int message = -1;
    for (size_t m = 0; m * mail_side::kMailPropertySize < property.size(); ++m)
      if (property.compare(m * mail_side::kMailPropertySize + mail_side::kMailSubjectAt, 12,
                           std::string("binhex part", 12)) == 0)
        message = int(m);
    QVERIFY(message >= 0);
    const int32_t date = le::get32s(reinterpret_cast<const unsigned char*>(property.data()) +
                                    size_t(message) * mail_side::kMailPropertySize);
    char shown[16];
    std::snprintf(shown, sizeof shown, "%04d/%02d/%02d", date / 10000, date / 100 % 100, date % 100);
    QCOMPARE(form_->hits()->text(0, 4), QString::fromLatin1(shown));

    // The full view: the header table, the body only, and the saved attachment's link.
    form_->mShowFull->trigger();
    form_->ListView1->selectionModel()->select(
        form_->hits()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const std::string full = test::read_file(dir_->path() + "RFull.htm");
    QVERIFY2(full.find("<TABLE BGCOLOR=#DFE7FF WIDTH=90%>") != std::string::npos, full.c_str());
    QVERIFY2(full.find("A Mac file.") != std::string::npos, full.c_str());
    QVERIFY2(full.find("BinHex data") == std::string::npos, full.c_str());
    const std::string saved = "Attach/" + std::to_string(message + 1) + "~mac.txt";
    QVERIFY2(full.find(saved) != std::string::npos, full.c_str());
    QVERIFY(fs::exists(work + saved));
  }
};

QTEST_MAIN(MailViewsTest)
#include "mail_views_qtest.moc"
