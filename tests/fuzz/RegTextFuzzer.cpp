// Feeds arbitrary bytes to the registry-export parser and checks that what it
// writes reads back as the same keys and values, and is written the same way
// again (parse -> write -> parse).
#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "platform/RegText.h"

using platform::RegDocument;

namespace {

bool sameValues(const RegDocument& a, const RegDocument& b) {
    if (a.keys().size() != b.keys().size())
        return false;
    for (const QString& key : a.keys()) {
        if (!b.hasKey(key) || a.values(key) != b.values(key))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const RegDocument first = RegDocument::parse(bytes);
    if (!first.usable()) {
        FUZZ_CHECK(first.keys().isEmpty() && !first.problem().isEmpty());
        return 0;
    }
    const QByteArray written = first.text();
    const RegDocument second = RegDocument::parse(written);
    FUZZ_CHECK(second.usable());
    FUZZ_CHECK(sameValues(first, second));
    FUZZ_CHECK(second.text() == written);

    // A change through the document survives the same way, and leaves every
    // other value alone.
    RegDocument changed = second;
    const QString key = QStringLiteral("HKEY_CURRENT_USER\\Software\\Oxatek\\Fuzz");
    changed.setValue(
        QStringLiteral("HKEY_CURRENT_USER"), key,
        platform::RegValue::fromString(QStringLiteral("V"), platform::fromRegText(bytes.left(64))));
    const RegDocument third = RegDocument::parse(changed.text());
    FUZZ_CHECK(sameValues(changed, third));
    const auto stored = third.value(key, QStringLiteral("V"));
    FUZZ_CHECK(stored && stored->data == bytes.left(64) + '\0');
    FUZZ_CHECK(platform::toRegText(platform::fromRegText(bytes)) == bytes);
    return 0;
}
