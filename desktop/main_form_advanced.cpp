// The main window's advanced search (see main_form.h): the advanced-search form opened
// with the search text up to its first operator, its choices taken over on OK, and, inside
// the search, the searcher's first run that fills the keyword cache and the filter loop
// that rewrites it before the real run reads it. Filters need the keyword cache; without
// it the search is refused rather than showing unfiltered hits as filtered. The logic
// without Qt is desktop/indexing/advanced_search.h and desktop/search/pre_run.h.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QToolButton>

#include "desktop/big5_qt.h"
#include "desktop/catalogue/catalogue.h"
#include "desktop/forms/search_adv_form.h"
#include "desktop/main_form.h"
#include "desktop/messages.h"
#include "desktop/search/pre_run.h"
#include "desktop/text_ids.h"

namespace qm {
namespace {

constexpr int kPreRunLimitMs = 20000;  // the first run ends by then at the latest
constexpr int kPreRunSliceMs = 20;     // the window works at least this often meanwhile

}  // namespace

void TMainForm::btnSearchAdvClick() {
  if (search_busy_) return;
  if (!search_adv_) search_adv_ = std::make_unique<TSearchAdvForm>(this);
  TSearchAdvForm& form = *search_adv_;
  const QString trimmed = cmbSrchHistory->currentText().trimmed();
  cmbSrchHistory->setEditText(trimmed);
  std::string text;
  if (!qstring_to_big5_or_warn(trimmed, text)) return;
  form.SetKeyword(AdvFirstKeyword(text));
  form.chkH->setVisible(!chkH->isHidden());
  form.chkF->setVisible(!chkF->isHidden());
  form.chkL->setVisible(!chkL->isHidden());
  form.NearConceptAllowed = chkL->isEnabled();
  if (form.exec() != QDialog::Accepted) return;

  advanced_ = form.Choice();
  advanced_pending_ = true;
  cmbSrchHistory->setEditText(big5_to_qstring(advanced_.query));
  btnSearch->setEnabled(true);
  mSearcher->setEnabled(true);
  // The menu items follow their boxes.
  chkH->setChecked(advanced_.homophone);
  chkF->setChecked(advanced_.fault);
  chkL->setChecked(advanced_.lexical);
  if (advanced_.any_filter() && !AdvKeywordCacheOn(program_dir_)) {
    ShowMessageById(text::kMsgFilterNeedsCache, text::kCaptionError, kStyleStop);
    advanced_pending_ = false;
    return;
  }
  btnSearchClick();
  advanced_pending_ = false;  // also when no database was checked
}

bool TMainForm::AdvancedPreRunAndFilter(const std::string& query, const SearchRequestInput& request) {
  ++pre_runs_;
  PreRunSearcher(program_dir_, query, kPreRunLimitMs, kPreRunSliceMs, [] { QApplication::processEvents(); });
  if (closing_done_) return false;
  if (advanced_.any_filter()) {
    QueryFlags flags;
    flags.homophone = request.homophone;
    flags.fault_tolerant = request.fault;
    flags.lexicon = request.lexical;
    AdvFilterCaches(program_dir_, *catalog_, request.database_ids, request.text, flags, advanced_.files,
                    advanced_.mail_date);
  }
  QApplication::processEvents();
  return !closing_done_;
}

void TMainForm::wire_advanced_commands() {
  connect(btnSearchAdv, &QToolButton::clicked, this, [this] { btnSearchAdvClick(); });
  connect(mSearchAdv, &QAction::triggered, this, [this] { btnSearchAdvClick(); });
  wire_options_commands();
}

}  // namespace qm
