#include "FuzzCheck.h"

#include "capture/EditedText.h"
#include "themefile/LineCodec.h"
#include "themefile/ThemeTidy.h"

namespace {
// A line shown and written back without a change keeps its bytes, in its own encoding.
void checkLineCodec(const QByteArray& line)
{
    const bool windows1252 = !LineCodec::isValidUtf8(line);
    fuzzCheck(LineCodec::encode(LineCodec::decode(line), windows1252) == line,
              "a line decoded and encoded again keeps its bytes");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray content = fuzzBytes(data, size);
    for (const QByteArray& line : EditedText::splitLines(content))
        checkLineCodec(line);
    // The load tidies whatever Process writes, so the tidied file is what the user gets back.
    const EditedText edited(content);
    const QByteArray written = edited.fileBytes(edited.boxText());
    fuzzCheck(ThemeTidy::tidy(written) == ThemeTidy::tidy(content),
              "an edit processed without a change gives the file's bytes back");
    return 0;
}
