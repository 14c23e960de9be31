#include "util/OxaUtils.h"

#include <gtest/gtest.h>

namespace {

struct Extracted {
    QString token;
    bool more;
    QString rest;
};

// The fixed form: blank, comma and tab, more set before the read.
Extracted extractFixed(QString text) {
    bool more = false;
    const QString token = ExtractToken(text, more);
    return {token, more, text};
}

Extracted extract(QString text, const QString& delimiters, bool more) {
    QString token;
    ExtractToken(text, more, delimiters, token);
    return {token, more, text};
}

} // namespace

TEST(Tokens, QuotedPiecesWithDoubledQuotesAndCharacterCodes) {
    auto r = extractFixed(QStringLiteral("\"a\"\"b\",x"));
    EXPECT_EQ(r.token, QStringLiteral("a\"b"));
    EXPECT_TRUE(r.more);
    EXPECT_EQ(r.rest, QStringLiteral("x"));

    r = extractFixed(r.rest);
    EXPECT_EQ(r.token, QStringLiteral("x"));
    EXPECT_FALSE(r.more);
    EXPECT_EQ(r.rest, QString());

    // Pieces follow each other without separators; a delimiter inside quotes is text.
    r = extractFixed(QStringLiteral("\"one, two\"#13#10\"end\" next"));
    EXPECT_EQ(r.token, QStringLiteral("one, two\r\nend"));
    EXPECT_TRUE(r.more);
    EXPECT_EQ(r.rest, QStringLiteral("next"));

    // A token may start with a code; codes wrap modulo 256 and end with the text.
    r = extractFixed(QStringLiteral("#321#66"));
    EXPECT_EQ(r.token, QStringLiteral("AB"));
    EXPECT_FALSE(r.more);
    EXPECT_EQ(r.rest, QString());

    // A closed quote at the very end completes the token.
    r = extractFixed(QStringLiteral("\"\"\"\""));
    EXPECT_EQ(r.token, QStringLiteral("\""));
    EXPECT_FALSE(r.more);
}

TEST(Tokens, QuotedTokenEndedByOtherCharacters) {
    // A character other than a delimiter after a piece ends the token, stops
    // the reading and is left in the text.
    auto r = extractFixed(QStringLiteral("\"ab\"cd,e"));
    EXPECT_EQ(r.token, QStringLiteral("ab"));
    EXPECT_FALSE(r.more);
    EXPECT_EQ(r.rest, QStringLiteral("cd,e"));

    // "#" followed by a non-digit keeps what was collected before it.
    r = extractFixed(QStringLiteral("\"ab\"#x,y"));
    EXPECT_EQ(r.token, QStringLiteral("ab"));
    EXPECT_FALSE(r.more);
    EXPECT_EQ(r.rest, QStringLiteral("x,y"));

    r = extractFixed(QStringLiteral("\"ab\"#,y"));
    EXPECT_EQ(r.token, QStringLiteral("ab"));
    EXPECT_TRUE(r.more);
    EXPECT_EQ(r.rest, QStringLiteral("y"));
}

TEST(Tokens, UnclosedQuoteAndBareHashGiveEmptyTokenAtEnd) {
    auto r = extractFixed(QStringLiteral("\"abc,def"));
    EXPECT_EQ(r.token, QString());
    EXPECT_FALSE(r.more);
    EXPECT_EQ(r.rest, QString());

    r = extractFixed(QStringLiteral("\"ab\"\""));
    EXPECT_EQ(r.token, QString());
    EXPECT_FALSE(r.more);

    r = extractFixed(QStringLiteral("\"ab\"#"));
    EXPECT_EQ(r.token, QString());
    EXPECT_FALSE(r.more);
    EXPECT_EQ(r.rest, QString());
}

TEST(Tokens, ParenthesisedTokens) {
    auto r = extractFixed(QStringLiteral("(a b,c),x"));
    EXPECT_EQ(r.token, QStringLiteral("a b,c"));
    EXPECT_TRUE(r.more);
    EXPECT_EQ(r.rest, QStringLiteral("x"));

    // After ")" a non-delimiter clears more and stays in the text.
    r = extractFixed(QStringLiteral("(a)b"));
    EXPECT_EQ(r.token, QStringLiteral("a"));
    EXPECT_FALSE(r.more);
    EXPECT_EQ(r.rest, QStringLiteral("b"));

    r = extractFixed(QStringLiteral("(abc"));
    EXPECT_EQ(r.token, QStringLiteral("abc"));
    EXPECT_EQ(r.rest, QString());

    // Without more the ")" is consumed but the delimiter after it is not.
    r = extract(QStringLiteral("(a),b"), QStringLiteral(","), false);
    EXPECT_EQ(r.token, QStringLiteral("a"));
    EXPECT_FALSE(r.more);
    EXPECT_EQ(r.rest, QStringLiteral(",b"));
}

TEST(Tokens, OneDelimiterPerTokenSoTwoInARowGiveAnEmptyToken) {
    QString text = QStringLiteral("9600, N");
    bool more = true;
    QStringList tokens;
    while (more)
        tokens << ExtractToken(text, more);
    EXPECT_EQ(tokens, QStringList({"9600", "", "N"}));
}

TEST(Tokens, CallerDelimiterLoopEndsAfterTrailingDelimiter) {
    QString text = QStringLiteral("frmMain|frmTerm|");
    bool more = true;
    QStringList tokens;
    for (int guard = 0; more && guard < 10; ++guard) {
        QString token;
        ExtractToken(text, more, QStringLiteral("|"), token);
        tokens << token;
    }
    EXPECT_EQ(tokens, QStringList({"frmMain", "frmTerm", ""}));
    EXPECT_FALSE(more);
}

TEST(Tokens, ReadTokenPositionsCountConsumedCharacters) {
    const QString text = QStringLiteral("ab,cd");
    QString token;
    bool more = false;
    int position = 0;
    ReadToken(position, text, QStringLiteral(","), token, more);
    EXPECT_EQ(token, QStringLiteral("ab"));
    EXPECT_EQ(position, 2); // just before the delimiter

    more = true;
    position = 0;
    ReadToken(position, text, QStringLiteral(","), token, more);
    EXPECT_EQ(position, 3); // on the delimiter
    EXPECT_TRUE(more);
    ReadToken(position, text, QStringLiteral(","), token, more);
    EXPECT_EQ(token, QStringLiteral("cd"));
    EXPECT_EQ(position, 5);
    EXPECT_FALSE(more);

    more = true;
    token = QStringLiteral("stale");
    ReadToken(position, text, QStringLiteral(","), token, more);
    EXPECT_EQ(token, QString());
    EXPECT_FALSE(more);
    EXPECT_EQ(position, 5);
}
