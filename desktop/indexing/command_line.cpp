// The index builder's command lines; see command_line.h.
#include "desktop/indexing/command_line.h"

namespace qm {

IndexerCommandLine indexer_command_line(const std::string& program_dir, IndexerKind kind,
                                        uint64_t window_id, int database_id) {
  IndexerCommandLine out;
  out.argv.push_back(program_dir + "indexer");
  switch (kind) {
    case IndexerKind::Document: break;
    case IndexerKind::MailWithAttachments: out.argv.insert(out.argv.end(), {"-mail", "-ncl"}); break;
    case IndexerKind::Mail: out.argv.push_back("-ncl"); break;
    case IndexerKind::AttachRebuild: out.argv.insert(out.argv.end(), {"-ncl", "-mail"}); break;
    case IndexerKind::DocumentRebuild: out.argv.push_back("-corvdoc"); break;
  }
  out.argv.push_back("-w" + std::to_string(window_id));
  out.argv.push_back("-f10");
  out.argv.push_back("-x" + std::to_string(database_id));
  for (const std::string& word : out.argv) {
    if (!out.text.empty()) out.text += ' ';
    out.text += word;
  }
  return out;
}

IndexerKind indexer_rebuild_kind(bool attach, bool mail) {
  if (attach) return IndexerKind::AttachRebuild;
  if (mail) return IndexerKind::Mail;
  return IndexerKind::DocumentRebuild;
}

}  // namespace qm
