// Pieces shared by the OOXML and ODF readers: the properties of a package (OOXML
// docProps/core.xml, ODF meta.xml) as property groups, and the tests for packages that
// are locked with a password.
#pragma once
#include <string_view>

#include "filters/framework/readers/doc_writer.h"
#include "filters/framework/readers/zip_package.h"

namespace kvx::readers {

// An OLE2 compound file holding an EncryptedPackage stream: an OOXML package locked with
// a password (its parts cannot be read without it).
bool is_encrypted_ooxml(std::string_view bytes);
// An ODF package whose manifest lists encryption data for a part.
bool is_encrypted_odf(const ZipPackage& zip);

// Title, subject, author, keywords and description as properties 6, 5, 4, 2 and 1.
void read_core_properties(const ZipPackage& zip, DocWriter& w);
void read_odf_meta(const ZipPackage& zip, DocWriter& w);

}  // namespace kvx::readers
