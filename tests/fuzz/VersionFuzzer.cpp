// Feeds arbitrary bytes to the version-information reader, as a PE or ELF
// file and as a version block itself, and looks up what the program looks up.
// Byte 0 chooses a file header to put in front (none, PE, ELF64, ELF32), so
// the parsers get past their first checks often.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "appinfo/VersionResource.h"

namespace {

void lookUp(const QByteArray& block) {
    const auto translation =
        appinfo::queryVersionValue(block, QStringLiteral("\\VarFileInfo\\Translation"));
    FUZZ_CHECK(!translation || translation->size() <= block.size());
    for (const char* path : {"\\StringFileInfo\\040904E4\\FileVersion", "\\", "\\StringFileInfo",
                             "\\StringFileInfo\\040904E4\\ProductName\\deeper"}) {
        const auto value = appinfo::queryVersionValue(block, QLatin1String(path));
        FUZZ_CHECK(!value || value->size() <= block.size());
        const auto text = appinfo::queryVersionText(block, QLatin1String(path));
        FUZZ_CHECK(text.has_value() == value.has_value());
        FUZZ_CHECK(!text || text->size() <= value->size() / 2);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    QByteArray file;
    switch (data[0] % 4) {
    case 1:
        file = QByteArray("MZ") + QByteArray(58, '\0') + QByteArray("\x40\0\0\0PE\0\0", 8);
        break;
    case 2:
        file = QByteArray("\x7f"
                          "ELF\x02\x01",
                          6);
        break;
    case 3:
        file = QByteArray("\x7f"
                          "ELF\x01\x01",
                          6);
        break;
    }
    file.append(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QByteArray block = appinfo::versionBlockOf(file);
    FUZZ_CHECK(block.size() <= file.size());
    lookUp(block);
    lookUp(file);
    return 0;
}
