// Reactions to received lines: the rules as written, and the bound that keeps
// a rule from feeding itself.
#include <gtest/gtest.h>

#include "macros/Reactions.h"

using namespace macros;

TEST(Reactions, RulesAsWrittenAndEveryBadLineNamed) {
    ParseError error;
    const auto rules = ParseReactions("# comment\n/Exc(eption)?/ => mark Java trouble\n"
                                      "+CREG: 0 => alarm\nRING => send ATA, every 10 s\n"
                                      "^SYSSTART => run Start app\n",
                                      &error);
    ASSERT_TRUE(error.ok()) << error.message.toStdString();
    ASSERT_EQ(rules.size(), 4u);
    EXPECT_TRUE(rules[0].regex);
    EXPECT_EQ(rules[0].argument, "Java trouble");
    EXPECT_EQ(rules[0].line, 2);
    EXPECT_EQ(rules[1].action, ReactionRule::Alarm);
    EXPECT_EQ(rules[2].everySeconds, 10);
    EXPECT_EQ(rules[2].describe(), "RING => send ATA, every 10 s");
    EXPECT_EQ(rules[3].action, ReactionRule::Run);

    struct Bad {
        const char* text;
        int line;
        const char* says;
    };
    const Bad bad[] = {
        {"ok => mark\nno arrow", 2, "a rule is TEXT => ACTION"},
        {"/a(/ => alarm", 1, "does not compile"},
        {"x => shout", 1, "\"shout\" is no action"},
        {"x => send AT, every -3 s", 1, "is not 0 to 86400"},
        {"x => run", 1, "run needs the label"},
    };
    for (const Bad& b : bad) {
        EXPECT_TRUE(ParseReactions(b.text, &error).empty()) << b.text;
        EXPECT_EQ(error.line, b.line) << b.text;
        EXPECT_TRUE(error.message.contains(b.says))
            << b.text << ": " << error.message.toStdString();
    }
}

TEST(Reactions, ARuleFiresAtMostOnceASecondWhateverFloodsIn) {
    ParseError error;
    ReactionEngine engine;
    // A rule whose own reply matches it (the module answers ERROR to AT).
    engine.setRules(ParseReactions("ERROR => send AT\nRING => mark call, every 5 s", &error));
    int sends = 0;
    int64_t heldBack = 0;
    // Ten seconds of a flood: an ERROR line every millisecond.
    for (int64_t t = 0; t < 10000; ++t)
        for (const ReactionEngine::Hit& hit : engine.lineReceived("+CME ERROR: 3", t)) {
            EXPECT_EQ(hit.rule, 0);
            ++sends;
            heldBack += hit.heldBack;
        }
    EXPECT_EQ(sends, 10);
    EXPECT_EQ(heldBack, 9 * 999); // every match is accounted for
    // Its own interval when longer; rules are tried in order, each on its own.
    EXPECT_EQ(engine.lineReceived("RING ERROR", 20000).size(), 2u);
    EXPECT_EQ(engine.lineReceived("RING", 24999).size(), 0u);
    const auto later = engine.lineReceived("RING", 25000);
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].rule, 1);
    EXPECT_EQ(later[0].heldBack, 1);
    EXPECT_TRUE(engine.lineReceived("ring", 90000).empty()); // letter case counts
}
