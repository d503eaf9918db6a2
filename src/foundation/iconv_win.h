// The iconv calls the text conversions use, for Windows, on the system's own code page
// converters (MultiByteToWideChar / WideCharToMultiByte). Stateless encodings only:
// UTF-8, UTF-16LE/BE, UTF-32LE and every single- or double-byte Windows code page
// (CP932 and its Shift_JIS names, EUC-JP as code page 20932, ISO-8859-n, windows-125n,
// US-ASCII). Any other name, ISO-2022-JP included, cannot be opened (errno EINVAL).
//
// Errors as iconv gives them: EILSEQ before a sequence that cannot be converted, EINVAL
// before an incomplete one at the end of the input, E2BIG when the output is full.
#pragma once

#include <cstddef>

using iconv_t = void*;

iconv_t iconv_open(const char* to, const char* from);
size_t iconv(iconv_t cd, char** inbuf, size_t* inleft, char** outbuf, size_t* outleft);
int iconv_close(iconv_t cd);
