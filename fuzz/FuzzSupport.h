#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

// Shared by the fuzz targets. Each target defines LLVMFuzzerTestOneInput and
// must stay deterministic, fast per input, and leave no files behind.
namespace zpc::fuzz {

inline QByteArray bytesOf(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// A folder of this process under $TMPDIR, made on first use and removed at
// exit. Targets remove their own files after each input.
const QByteArray& scratchFolder();

// Writes the bytes to a file of that name in the scratch folder and answers
// its path.
QByteArray writeScratchFile(const char* name, const QByteArray& bytes);

// A broken promise of the code under test: report it and abort, which the
// fuzzer records as a crash with its input.
[[noreturn]] void fail(const char* file, int line, const char* what);

}  // namespace zpc::fuzz

#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : ::zpc::fuzz::fail(__FILE__, __LINE__, #condition))
