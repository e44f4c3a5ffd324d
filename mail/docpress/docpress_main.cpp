// The docpress program: docpress InputFile OutputFile [-n]. Binds docpress's sequence
// (docpress.h) to the conversion framework libkvx.so; exit code 1 on success, 255 (-1)
// on a wrong argument count or a failure. Started by postbridge in the attachment folder.
#include "mail/docpress/docpress.h"
#include "platform/heap.h"

int main(int argc, char** argv) {
  qm::use_huge_page_heap();
  const qm::docpress::Framework framework = {DAInit,          DADeInit,      DAOpenDocument, DACloseDocument,
                                             DASetOption,     EXOpenExport,  EXRunExport,    EXCloseExport};
  return qm::docpress::run(framework, argc, argv, stdout) == 1 ? 1 : -1;
}
