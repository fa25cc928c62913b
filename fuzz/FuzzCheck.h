#pragma once

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

// A broken property is a finding like a crash: the fuzzer keeps the input that broke it.
inline void fuzzCheck(bool holds, const char* property)
{
    if (holds)
        return;
    std::fprintf(stderr, "property broken: %s\n", property);
    std::abort();
}

// The fuzzer's own buffer, not a copy: a read past its end meets the address sanitizer.
inline QByteArray fuzzBytes(const uint8_t* data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}
