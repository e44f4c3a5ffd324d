// Document readers of the framework: which format a source is (by content first, then by
// the file name's extension) and the reader that turns it into ChunkBuilder calls. Readers
// only build the chunk model; what the items mean to a page is the export filter's business.
// Called by kvx_documents.cpp when a document is opened (detect_format) and at its first
// DAGetHChunker (read_document); tests and fuzz drivers call both directly.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "filters/common/kvx_abi.h"
#include "filters/framework/chunk_model.h"

namespace kvx::readers {

// Sources larger than this are refused (KVXERR_BADFORMAT) rather than read into memory.
inline constexpr size_t kMaxSourceBytes = size_t(256) << 20;

// The KVXFI_* id of a source by its bytes, then by the extension of name (any case);
// KVXFI_UNKNOWN when neither decides. KVXFI_CHUNKSCRIPT for chunk scripts.
uint32_t detect_format(std::string_view bytes, std::string_view name);

// Builds the model of a source of a detected format: KVX_OK; KVXERR_UNSUPPORTED for a
// format without a reader; KVXERR_BADFORMAT when nothing usable could be read (a damaged
// source gives the part read so far and KVX_OK when that part is not empty).
KVXSTATUS read_document(uint32_t file_id, std::string_view bytes, ChunkBuilder& out);

// The readers, one per format family.
KVXSTATUS read_text(std::string_view bytes, ChunkBuilder& out);
KVXSTATUS read_html(std::string_view bytes, ChunkBuilder& out);
KVXSTATUS read_rtf(std::string_view bytes, ChunkBuilder& out);
KVXSTATUS read_pdf(std::string_view bytes, ChunkBuilder& out);
KVXSTATUS read_pgx(std::string_view bytes, ChunkBuilder& out);
// OOXML and ODF packages: KVXERR_ENCRYPTED for a package locked with a password.
KVXSTATUS read_docx(std::string_view bytes, ChunkBuilder& out);
KVXSTATUS read_odt(std::string_view bytes, ChunkBuilder& out);
KVXSTATUS read_xlsx(std::string_view bytes, ChunkBuilder& out);
KVXSTATUS read_ods(std::string_view bytes, ChunkBuilder& out);
// Word and PowerPoint through outside programs (child_tools.h: KVXERR_NOTOOL when one is
// missing, KVXERR_BADFORMAT when it fails or runs late), Excel through libfreexl.
KVXSTATUS read_doc(std::string_view bytes, ChunkBuilder& out);
KVXSTATUS read_ppt(std::string_view bytes, ChunkBuilder& out);
KVXSTATUS read_xls(std::string_view bytes, ChunkBuilder& out);

}  // namespace kvx::readers
