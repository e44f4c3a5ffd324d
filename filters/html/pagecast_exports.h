// The functions that libpagecast.so exports, once each, for programs and tests that load
// the filter with dlopen and for the check of the library's dynamic symbols. Later parts
// of the filter add their families here.
#pragma once

#define PAGECAST_EXPORTS(X)                                                                     \
  X(VwGetRtns)                                                                                  \
  X(MUCacheInit) X(MUCacheAdd) X(MUCacheRetrieve) X(MUCacheDeinit) X(MUCacheLock) X(MUCacheUnlock) \
  X(BIGetLinkByHFile) X(BIGetLinkByElemChId) X(BIGetSectionTypeFromInString)                    \
  X(HtmlElementExist) X(HtmlGetElementName) X(HtmlHandleElement)                                \
  X(PCTestFailAlloc) X(PCTestBounds)                                                            \
  X(HtmlExportEmbeddedObject) X(HtmlExportGraphicObject) X(EUProcessLink) X(EUCleanupAfterLink) \
  X(EUSetupObjectConversion) X(EUSetupSelectionConversion) X(EUDoConversion)                    \
  X(EUHandleConversionFailure) X(pagecastCallback) X(WriteGIF)
