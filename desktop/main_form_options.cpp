// The main window's options commands (see main_form.h): mOptions and btnFont open the
// options form; after OK, and on the form's settingsApplied (Apply), the new highlight is
// put into the brief views already fetched, the page size becomes the pending one, the
// selected row is shown again with force, and the web search address is taken from the
// form. The settings logic without Qt is desktop/options_settings.h.
#include <QAction>
#include <QToolButton>

#include "desktop/forms/options_form.h"
#include "desktop/hit_list_model.h"
#include "desktop/main_form.h"
#include "desktop/maker_pages.h"

namespace qm {

void TMainForm::mOptionsClick() {
  if (!options_) {
    options_ = std::make_unique<TOptionsForm>(program_dir_, this);
    connect(options_.get(), &TOptionsForm::settingsApplied, this, [this] { take_over_options(); });
  }
  if (options_->exec() == QDialog::Accepted) take_over_options();
}

void TMainForm::take_over_options() {
  if (!options_) return;
  ReapplyHighlightToViews(options_->Marks());
  web_search_address_ = options_->WebAddress();
  on_options_applied(options_->ResultCount());
}

void TMainForm::ReapplyHighlightToViews(const HighlightMarks& marks) {
  hits_->update_rows([&marks](std::vector<HitRow>& rows) {
    for (HitRow& row : rows) ReapplyHighlight(row.sub[kSubBrief], marks);
  });
}

void TMainForm::wire_options_commands() {
  connect(mOptions, &QAction::triggered, this, [this] { mOptionsClick(); });
  connect(btnFont, &QToolButton::clicked, this, [this] { mOptionsClick(); });
}

}  // namespace qm
