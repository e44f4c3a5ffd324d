// The advanced search without Qt: the search text composed from the advanced-search
// form's keyword boxes and operators, the first keyword the form opens with, the dates the
// property filter reads, the choices the main window takes over on OK, and the filter
// loop between the searcher's two runs (the file filters over each document database, the
// mail received-date filter over each mail database) through the PropertyFilter of
// property_filter.h. The filters act only through the searcher's keyword cache, so they
// need CacheFile "1". Used by forms/search_adv_form.cpp and main_form_advanced.cpp; tests
// in tests/advanced_search_test.cpp and tests/advanced_searcher_test.cpp.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "desktop/indexing/property_filter.h"

namespace qm {

class DatabaseCatalog;

// The search text up to its first query operator '*', '+' or '-' (all of it when none).
std::string AdvFirstKeyword(std::string_view text);
// The operator character of an operator box entry: 0 "*", 1 "+", 2 "-".
char AdvOperatorChar(int entry);
// The main keyword, then each further box that holds a character other than a blank,
// behind its operator character.
std::string AdvComposeQuery(std::string_view main, char op1, std::string_view str1, char op2,
                            std::string_view str2);
// A date as the property filter reads it, "y/m/d" (year first, whatever the locale).
std::string AdvDateText(int year, int month, int day);

// The mail received-date filter of the advanced search.
struct MailDateFilter {
  bool on = false;
  std::string from_date, to_date;
};

// What the main window takes over from the advanced-search form on OK.
struct AdvancedSearchChoice {
  std::string query;                // the composed search text (Big5)
  bool homophone = false, fault = false, lexical = false;
  PropertyFilterOptions files;      // only the checked file filters are on
  bool mail_fields[3] = {false, false, false};  // subject, sender, content
  MailDateFilter mail_date;
  bool mail_search = false;         // the mail page was the active page at OK
  // Whether the request asks for mail fields (k=): the mail page and a field chosen.
  bool mail_fields_wanted() const {
    return mail_search && (mail_fields[0] || mail_fields[1] || mail_fields[2]);
  }
  // Whether some filter must rewrite the keyword cache.
  bool any_filter() const { return files.any() || mail_date.on; }
};

// Whether the configuration keeps the searcher's keyword cache (CacheFile "1" and a
// CacheDir): the only road by which the filters act.
bool AdvKeywordCacheOn(const std::string& program_dir);

// Filters the keyword cache of the search text for each chosen database, after the
// searcher's first run: a document database by the file filters, a mail database by the
// mail date filter standing in for the date filter (name and size off). flags: the
// request's switches. Gives the number of cache files rewritten.
int AdvFilterCaches(const std::string& program_dir, DatabaseCatalog& catalogue,
                    const std::vector<int>& database_ids, const std::string& search_text,
                    const QueryFlags& flags, const PropertyFilterOptions& files,
                    const MailDateFilter& mail_date);

}  // namespace qm
