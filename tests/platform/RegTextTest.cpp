// The registry-export text format from data alone: exports as the Windows
// registry editor writes them, 8-bit text kept byte for byte, and values that
// survive being written and read again.
#include "platform/RegText.h"

#include <QStringEncoder>
#include <gtest/gtest.h>

using platform::RegDocument;
using platform::RegValue;
namespace RegType = platform::RegType;

namespace {

const QString kKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\Settings");

QByteArray utf16le(const QString& text) {
    QStringEncoder encoder(QStringEncoder::Utf16LE);
    return QByteArray("\xff\xfe", 2) + QByteArray(encoder(text));
}

} // namespace

// UTF-16LE with a byte-order mark (the editor's default), UTF-8 with and
// without one, and REGEDIT4 read the same; 5.00's wide expandable strings and
// multi-strings become text like the rest; the program writes REGEDIT4 back.
TEST(RegText, ReadsExportsInEveryEncodingTheEditorWrites) {
    const QString export5 =
        QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\Settings]\r\n"
                       "\"StartCmd\"=\"a:/appmain2.jad\"\r\n"
                       "\"Filter1\"=\"Termin\u00e1l \u010dislo\"\r\n"
                       "\"AutoMarkDelay\"=dword:00007530\r\n"
                       "\"Path\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\r\n"
                       "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n\r\n");
    for (const QByteArray& bytes :
         {utf16le(export5), export5.toUtf8(), QByteArray("\xef\xbb\xbf") + export5.toUtf8()}) {
        const RegDocument doc = RegDocument::parse(bytes);
        ASSERT_TRUE(doc.usable()) << doc.problem().toStdString();
        EXPECT_TRUE(doc.problem().isEmpty()) << doc.problem().toStdString();
        EXPECT_EQ(doc.value(kKey, "startcmd")->text(), QStringLiteral("a:/appmain2.jad"));
        EXPECT_EQ(doc.value(kKey, "Filter1")->text(), QStringLiteral("Termin\u00e1l \u010dislo"));
        EXPECT_EQ(doc.value(kKey, "AutoMarkDelay")->dword(), 30000u);
        EXPECT_EQ(doc.value(kKey, "Path")->type, RegType::ExpandString);
        EXPECT_EQ(doc.value(kKey, "Path")->text(), QStringLiteral("%TMP%"));
        EXPECT_EQ(doc.value(kKey, "Multi")->data, QByteArray("a\0b\0\0", 5));
        // Written back as REGEDIT4, which reads the same values.
        const QByteArray written = doc.text();
        EXPECT_TRUE(written.startsWith("REGEDIT4\r\n\r\n"));
        EXPECT_TRUE(written.contains("\"Path\"=hex(2):25,54,4d,50,25,00\r\n")) << written.data();
        EXPECT_EQ(RegDocument::parse(written).values(kKey), doc.values(kKey));
    }
    // Binary data, or text without the header line, is no export at all.
    for (const QByteArray& bytes :
         {QByteArray("\x7f"
                     "ELF\x02\x01\x01\0\0\0",
                     10),
          QByteArray("[HKEY_CURRENT_USER\\K]\r\n"), utf16le(QStringLiteral("Win\r\n"))}) {
        const RegDocument doc = RegDocument::parse(bytes);
        EXPECT_FALSE(doc.usable());
        EXPECT_TRUE(doc.problem().contains("not a registry export")) << doc.problem().toStdString();
    }
    EXPECT_TRUE(RegDocument::parse("\r\n\r\n").usable()); // an empty file is an empty hive
}

// Text of any encoding comes back byte for byte, through the document and
// through a QString; a value cut off after a wrapped hex line keeps its bytes
// and is not changed by later, unrelated writes.
TEST(RegText, TextStaysByteForByteAndCutOffHexKeepsItsValue) {
    const QByteArray latin1Start = "caf\xe9 \"x\" \\ \x80\xff";
    const QByteArray text = "REGEDIT4\r\n\r\n[" + kKey.toUtf8() +
                            "]\r\n"
                            "\"StartCmd\"=\"caf\xe9 \\\"x\\\" \\\\ \x80\xff\"\r\n"
                            "\"Name\"=\"Termin\xc3\xa1l\"\r\n"
                            "\"Blob\"=hex:01,02,\\";
    RegDocument doc = RegDocument::parse(text);
    ASSERT_TRUE(doc.usable());
    EXPECT_TRUE(doc.problem().isEmpty()) << doc.problem().toStdString();
    const RegValue start = *doc.value(kKey, "StartCmd");
    EXPECT_EQ(start.data, latin1Start + '\0');
    EXPECT_EQ(RegValue::fromString("StartCmd", start.text()).data, start.data);
    EXPECT_EQ(doc.value(kKey, "Name")->text(), QStringLiteral("Termin\u00e1l"));
    EXPECT_EQ(doc.value(kKey, "Blob")->data, QByteArray("\x01\x02", 2));

    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(doc.setValue("HKEY_CURRENT_USER", kKey,
                                 RegValue::fromDword(QStringLiteral("Other"), uint32_t(round))));
        doc = RegDocument::parse(doc.text());
        EXPECT_EQ(doc.value(kKey, "StartCmd")->data, latin1Start + '\0');
        EXPECT_EQ(doc.value(kKey, "Blob")->data, QByteArray("\x01\x02", 2)) << round;
        EXPECT_EQ(doc.value(kKey, "Other")->dword(), uint32_t(round));
    }
    const QByteArray written = doc.text();
    EXPECT_TRUE(written.contains("\"StartCmd\"=\"caf\xe9 \\\"x\\\" \\\\ \x80\xff\"\r\n"));
    // A blank line after it keeps the next line from being read as its continuation.
    EXPECT_TRUE(written.contains("\"Blob\"=hex:01,02,\\\r\n\r\n\"Other\"=dword:00000001\r\n"));
}
