// Chunk scripts: the fixture language of the chunk model. One line per ChunkBuilder
// call, read by the framework as a document format (file id KVXFI_CHUNKSCRIPT) and written
// back from a model by kvxdump. The first line is "kvx-chunks 1"; see chunk_script.cpp
// for the lines.
#pragma once
#include <memory>
#include <string>

#include "filters/common/kvx_abi.h"
#include "filters/framework/chunk_model.h"

namespace kvx {

inline constexpr const char* kChunkScriptMagic = "kvx-chunks 1";

bool is_chunk_script(const std::string& head);
// KVX_OK and the model, or KVXERR_BADFORMAT with "line N: reason" in *error.
KVXSTATUS read_chunk_script(const std::string& text, std::unique_ptr<ChunkModel>& model, std::string* error);
// The script that builds the model again; false (reason in *error) for a model with
// something the language cannot say.
bool write_chunk_script(const ChunkModel& model, std::string& out, std::string* error);

// The plain text of a model as kvxdump --text prints it: text runs in UTF-8 ("?" for a
// unit without a character), a line end at each paragraph, line, page and row end, a tab at
// each cell end, a blank before a note's text (group 0xA00A0000); in sheets a tab between
// cells, a line end between rows and a numeric cell's value as sheet_text.h renders it;
// the texts of property groups (0xA0010004) and number formats (0xA0100000) are left
// out, as they are no running text. Without page_parts the texts of headers and footers
// (groups 0xA00B0000) are left out too: the text that a page without its page parts shows.
std::string model_text(const ChunkModel& model, bool page_parts = true);

// The text of a document property (the first property group {0xA0010004, number}; 6 is
// the title), in UTF-8 as model_text gives text runs; empty when the model has none.
std::string model_property(const ChunkModel& model, uint32_t number);

}  // namespace kvx
