// The advanced search without Qt (see advanced_search.h).
#include "desktop/indexing/advanced_search.h"

#include "common/config.h"
#include "common/dbid.h"
#include "desktop/catalogue/catalogue.h"

namespace qm {

std::string AdvFirstKeyword(std::string_view text) {
  const size_t op = text.find_first_of("*+-");
  return std::string(op == std::string_view::npos ? text : text.substr(0, op));
}

char AdvOperatorChar(int entry) {
  switch (entry) {
    case 1: return '+';
    case 2: return '-';
    default: return '*';
  }
}

std::string AdvComposeQuery(std::string_view main, char op1, std::string_view str1, char op2,
                            std::string_view str2) {
  std::string query(main);
  auto add = [&query](char op, std::string_view str) {
    if (str.find_first_not_of(' ') == std::string_view::npos) return;  // blanks only
    query += op;
    query += str;
  };
  add(op1, str1);
  add(op2, str2);
  return query;
}

std::string AdvDateText(int year, int month, int day) {
  return std::to_string(year) + "/" + std::to_string(month) + "/" + std::to_string(day);
}

bool AdvKeywordCacheOn(const std::string& program_dir) {
  // The search engine's reading of the settings (the desktop's leaves out the cache keys).
  DatabaseCatalog catalogue(program_dir);
  DatabaseIdSet none;
  none.add(0, true);
  Config config(none);
  std::string error;
  if (!config.load_for_build(catalogue.ConfigPath(), error)) return false;
  return config.settings.CacheFile && !config.settings.CacheDir.empty();
}

int AdvFilterCaches(const std::string& program_dir, DatabaseCatalog& catalogue,
                    const std::vector<int>& database_ids, const std::string& search_text,
                    const QueryFlags& flags, const PropertyFilterOptions& files,
                    const MailDateFilter& mail_date) {
  if (!files.any() && !mail_date.on) return 0;
  // The mail databases' options: the received dates stand in for the date filter.
  PropertyFilterOptions mail;
  mail.date_on = true;
  mail.from_date = mail_date.from_date;
  mail.to_date = mail_date.to_date;
  PropertyFilter filter(program_dir);
  int rewritten = 0;
  for (const int id : database_ids) {
    const bool is_mail = catalogue.IsMailDatabase(id);
    if (is_mail ? !mail_date.on : !files.any()) continue;
    std::string work_dir, html_dir;
    if (!catalogue.DatabaseDirs(id, work_dir, html_dir)) continue;
    filter.SetFilterDirectories(work_dir, html_dir);
    filter.SetFilterKeywords(search_text, id);
    filter.SetFilterExpansion(flags);
    filter.SetFilterOptions(is_mail ? &mail : &files);
    rewritten += filter.FilterKeywordCaches();
  }
  return rewritten;
}

}  // namespace qm
