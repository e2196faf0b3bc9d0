// What both implementations of FileIo.h share: the temporary names.
// Internal to the file layer.

#ifndef VELMAR_ENGINE_FILEIOSHARED_H_
#define VELMAR_ENGINE_FILEIOSHARED_H_

#include <string>

namespace velmar::fileio {

// A new temporary name, ".htmlcompress-" and 12 random hexadecimal digits.
std::string NewTemporaryName();

}  // namespace velmar::fileio

#endif  // VELMAR_ENGINE_FILEIOSHARED_H_
