// What the desk makes of received bytes: the line ends a module uses.
#include <QCheckBox>
#include <QComboBox>
#include <QTest>

#include "DeskTest.h"
#include "app/ReceivePipeline.h"
#include "platform/Registry.h"

namespace {

// Every chunk through one splitter; the lines and the last rest, joined by |.
QString splitAll(LineEnd end, std::initializer_list<QByteArray> chunks) {
    LineSplitter splitter(end);
    QStringList out;
    QByteArray rest;
    for (const QByteArray& chunk : chunks) {
        splitter.split(
            chunk,
            [&](QByteArrayView line, qsizetype) { out << QString::fromLatin1(line.toByteArray()); },
            rest);
        if (!rest.isEmpty())
            out << '(' + QString::fromLatin1(rest) + ')';
    }
    return out.join('|');
}

} // namespace

TEST(DeskLineEnds, EachSettingEndsLinesAtItsOwnBytes) {
    EXPECT_EQ(splitAll(LineEnd::CR, {"a\r\nb\nc\rd"}), "a|bc|(d)");
    EXPECT_EQ(splitAll(LineEnd::LF, {"line 6\nLONG7\n", "x\r\ny"}), "line 6|LONG7|x|(y)");
    // CR LF: either alone is data; a pair split across chunks still ends the line.
    EXPECT_EQ(splitAll(LineEnd::CRLF, {"a\rb\nc\r\n", "d\r", "\ne\r", "f"}),
              "a\rb\nc|(d)||(e)|(\rf)");
}

TEST_F(DeskTest, LineFeedEndsTheModulesLinesWhenSetAndTheSettingIsKept) {
    create();
    EXPECT_EQ(dlg->cmbLineEnds->currentText(), "CR");
    receive("line 6\nLONG7\n\r");
    EXPECT_TRUE(terminalText().contains("+ line 6LONG7\n")) << terminalText().toStdString();

    dlg->cmbLineEnds->setCurrentIndex(int(LineEnd::LF));
    receive("line 6\nLONG7\n");
    EXPECT_TRUE(terminalText().contains("+ line 6\n")) << terminalText().toStdString();
    EXPECT_TRUE(terminalText().contains("+ LONG7\n"));
    frm->close();
    const auto stored = platform::Registry(platform::RegHive::CurrentUser)
                            .value("Software\\Oxatek\\Dralvo_v1-7\\Advanced", "LineEnds");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->dword(), 1u);
    frm.reset();

    create();
    EXPECT_EQ(dlg->cmbLineEnds->currentText(), "LF");
    const QByteArray log = closeAndReadLog();
    EXPECT_TRUE(log.contains(": + line 6LONG7\r\n"));
    EXPECT_TRUE(log.contains(": + line 6\r\n"));
    EXPECT_TRUE(log.contains(": + LONG7\r\n"));
}

TEST_F(DeskTest, HexAndUtf8SwitchChangeTheDisplayButNotTheLog) {
    create();
    const QByteArray chunk("\x00\x1b\x80\xff AT\xc3\xa1\r\n", 10);
    QTest::mouseClick(frm->chkShowHex, Qt::LeftButton);
    receive(chunk);
    EXPECT_TRUE(terminalText().contains("+ # 00 1B 80 FF 20 41 54 C3 A1\n"))
        << terminalText().toStdString();
    QTest::mouseClick(frm->chkShowHex, Qt::LeftButton);
    receive(chunk);
    EXPECT_TRUE(terminalText().contains("+ <#00><#1B><#80><#FF> AT<#C3><#A1>\n"));
    QTest::mouseClick(frm->chkShowUtf8, Qt::LeftButton);
    receive(chunk);
    EXPECT_TRUE(terminalText().contains(QString::fromUtf8("+ <#00><#1B><#80><#FF> AT\u00e1\n")))
        << terminalText().toStdString();
    frm->close(); // the switches are kept
    frm.reset();
    create();
    EXPECT_FALSE(frm->chkShowHex->isChecked());
    EXPECT_TRUE(frm->chkShowUtf8->isChecked());
    const QByteArray log = closeAndReadLog();
    EXPECT_EQ(log.count(": + <#00><#1B><#80><#FF> AT<#C3><#A1>\r\n"), 3) << log.toStdString();
}
