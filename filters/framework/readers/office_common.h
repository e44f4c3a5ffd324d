// Pieces shared by the OOXML and ODF readers (docx_reader.cpp, odt_reader.cpp,
// xlsx_reader.cpp, ods_reader.cpp): opening a package with its password test, reading its
// parts and OOXML relationships, the properties of a package (OOXML docProps/core.xml,
// ODF meta.xml) as property groups, and the entry that runs a reader over a package and
// maps its outcome to the status the framework returns; the document readers' attribute
// switches. Builds on zip_package.h and the document and sheet writers.
#pragma once
#include <map>
#include <string>
#include <string_view>
#include <type_traits>

#include "filters/framework/readers/doc_writer.h"
#include "filters/framework/readers/sheet_writer.h"
#include "filters/framework/readers/zip_package.h"

namespace kvx::readers {

enum class OfficePackage { kOoxml, kOdf };

// Opens the bytes as a package of the kind. One locked with a password gives
// KVXERR_ENCRYPTED: an OOXML package is then an OLE2 compound file holding an
// EncryptedPackage stream (tested before opening), an ODF package's manifest lists
// encryption data for a part (tested after).
KVXSTATUS open_office_package(std::string_view bytes, OfficePackage kind, ZipPackage& zip);

// The part a reader starts from, parsed: KVXERR_BADFORMAT when it is missing or holds no
// well-formed XML, the package's other read errors as they are. size (if given) gets the
// part's length in bytes.
KVXSTATUS read_main_part(const ZipPackage& zip, const char* name, XmlDoc& doc, size_t* size = nullptr);
// An optional part, parsed; null when it is missing, unreadable or not well-formed.
XmlDoc read_xml_part(const ZipPackage& zip, const char* name);
// An OOXML relationships part as Id -> Target; empty when missing or unreadable.
std::map<std::string, std::string> read_relationships(const ZipPackage& zip, const char* name);

// Title, subject, author, keywords and description as properties 6, 5, 4, 2 and 1.
void read_core_properties(const ZipPackage& zip, DocWriter& w);
void read_odf_meta(const ZipPackage& zip, DocWriter& w);

// Character attributes (bits 1 << KVXATTR_*) moved from attrs to bits: each bold,
// italic, underline, strike, subscript and superscript that changes is switched on the
// writer, in that order.
void switch_attributes(DocWriter& w, uint32_t& attrs, uint32_t bits);

// The outcome of a document reader's run: its error as it is; else KVXERR_BADFORMAT when
// the writer could not finish and wrote nothing.
KVXSTATUS document_status(KVXSTATUS run, DocWriter& w);
// The outcome of a sheet reader's run: its error only when no sheet was written.
KVXSTATUS sheets_status(KVXSTATUS run, const SheetWriter& w);

// What every office reader holds: the package it reads and the writer it fills. A reader
// derives from it and gives KVXSTATUS run().
template <typename Writer>
class OfficeReader {
 public:
  using WriterType = Writer;
  OfficeReader(const ZipPackage& zip, Writer& w) : zip_(zip), w_(w) {}

 protected:
  const ZipPackage& zip_;
  Writer& w_;
};

// The readers' entry: the package opened, Reader(zip, writer).run() over it, and its
// outcome mapped for the reader's writer (DocWriter or SheetWriter).
template <typename Reader>
KVXSTATUS read_office_package(std::string_view bytes, OfficePackage kind, ChunkBuilder& out) {
  using Writer = typename Reader::WriterType;
  ZipPackage zip;
  if (const KVXSTATUS st = open_office_package(bytes, kind, zip); st != KVX_OK) return st;
  Writer w(out);
  Reader reader(zip, w);
  if constexpr (std::is_same_v<Writer, SheetWriter>) return sheets_status(reader.run(), w);
  else return document_status(reader.run(), w);
}

}  // namespace kvx::readers
