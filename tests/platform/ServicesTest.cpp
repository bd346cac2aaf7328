#include "platform/Base64.h"
#include "platform/Numbers.h"
#include "platform/Yield.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <set>

using namespace zpc::platform;

TEST(Numbers, ZeroPatternsPadToTheirWidth) {
    struct Case {
        int64_t value;
        const char* pattern;
        const char* expected;
    };
    for (const Case& c : {Case{7, "000000", "000007"}, Case{100000, "000000", "100000"},
                          Case{1234567, "000000", "1234567"}, Case{5, "00", "05"}, Case{23, "00", "23"},
                          Case{0, "0", "0"}, Case{2026, "0", "2026"}, Case{-5, "00", "-05"}})
        EXPECT_EQ(Format(c.value, c.pattern), c.expected) << c.value << " " << c.pattern;
}

TEST(Numbers, RandomDrawsStayInRangeWithBothEnds) {
    Random r;
    std::set<int64_t> seen;
    for (int i = 0; i < 2000; ++i) {
        const int64_t v = r.InRange(1, 5);
        ASSERT_GE(v, 1);
        ASSERT_LE(v, 5);
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 5u);
    Random a, b;
    EXPECT_NE(a.InRange(1, 1000000000), b.InRange(1, 1000000000)) << "generators made in a row differ";
}

TEST(Base64, LinesOf76AndTolerantDecoding) {
    QByteArray data;
    for (int i = 0; i < 1000; ++i) data += char(i * 13);
    const QByteArray text = EncodeBase64(data, 76);
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_GT(lines.size(), 1);
    for (int i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 76);
    EXPECT_LE(lines.last().size(), 76);
    EXPECT_FALSE(text.endsWith('\n'));
    EXPECT_EQ(DecodeBase64(text), data);

    QByteArray crlf = text;
    crlf.replace("\n", "\r\n  \t");
    bool ok = false;
    EXPECT_EQ(DecodeBase64(crlf, &ok), data);
    EXPECT_TRUE(ok);
    EXPECT_EQ(EncodeBase64("", 76), "");
    EXPECT_EQ(DecodeBase64("not*base64!", &ok), "");
    EXPECT_FALSE(ok);
}

TEST(Base64, PiecesGiveWhatTheWholeGives) {
    QByteArray big;
    for (unsigned i = 0; i < 3 * 1024 * 1024 + 5; ++i) big += char((i * 7919u) >> 3);
    for (int size : {0, 1, 56, 57, 58, 3000, int(big.size())}) {
        for (int line : {76, 0, 10}) {
            QByteArray joined;
            int pieces = 0;
            EncodeBase64Pieces(big.left(size), line, [&](const QByteArray& p) {
                joined += p;
                ++pieces;
            });
            EXPECT_EQ(joined, EncodeBase64(big.left(size), line)) << size << " " << line;
            if (size == big.size() && line == 76) {
                EXPECT_GT(pieces, 3);
            }
        }
    }

    const QByteArray longText = EncodeBase64(big.left(200000), 76);
    QByteArray windows = longText;
    windows.replace("\n", "\r\n");
    QByteArray badLate = longText;
    badLate[150000] = '*';
    QByteArray padInside = longText;
    padInside[100000] = '=';
    for (const QByteArray& text :
         {QByteArray(""), QByteArray("QQ=="), QByteArray("QQ="), QByteArray("QUI="),
          QByteArray("QQ"), QByteArray("Q"), QByteArray(" Q Q\n=\t= "), QByteArray("QQ=A"),
          QByteArray("QQ==="), QByteArray("A==="), QByteArray("QUJD\nREVG"), QByteArray("QUJD!"),
          QByteArray("=="), longText, windows, badLate, padInside,
          longText + "==", longText.left(70001)}) {
        bool wholeOk = false;
        const QByteArray whole = DecodeBase64(text, &wholeOk);
        for (int piece : {1, 3, 4, 77, 65536, int(text.size()) + 1}) {
            Base64Decoder decoder;
            for (qsizetype at = 0; at < text.size(); at += piece) decoder.feed(text.mid(at, piece));
            bool ok = !wholeOk;
            EXPECT_EQ(decoder.finish(&ok), whole) << text.left(40).toStdString() << " / " << piece;
            EXPECT_EQ(ok, wholeOk) << text.left(40).toStdString() << " / " << piece;
        }
    }
}

TEST(ScriptedUI, RecordsEveryMessageAndAnswersFromItsQueues) {
    ScriptedUIServices s;
    s.msgBox("hello");
    s.queueDialogAnswer(kAnswerAlternate);
    MessageDialogRequest r;
    r.message = "m";
    r.explanation = "e";
    r.icon = kIconStop;
    EXPECT_EQ(s.messageDialog(r), kAnswerAlternate);
    EXPECT_EQ(s.messageDialog(r), kAnswerCancel) << "nothing queued: cancelled";
    EXPECT_EQ(s.unanswered(), 1);
    EXPECT_EQ(s.messages(), (QStringList{"hello", "m", "m"}));
    EXPECT_EQ(s.shown()[1].explanation, "e");
    EXPECT_EQ(s.shown()[1].icon, kIconStop);
    EXPECT_EQ(s.fileDialog({}), nullptr);
}

TEST(Yield, ServesTheUIOnlyEveryFewMillisecondsAndReportsProgress) {
    auto s = std::make_shared<ScriptedUIServices>();
    ScopedUI scope(s);
    {
        ProgressScope outer("Reading");
        EXPECT_EQ(ProgressScope::depth(), 1);
        const int64_t start = Microseconds();
        int calls = 0;
        while (Microseconds() - start < 100000) {
            yield();
            ++calls;
        }
        EXPECT_GT(calls, 1000);
        EXPECT_GE(s->yieldPoints(), 3);
        EXPECT_LE(s->yieldPoints(), 100000 / 15000 + 2) << "throttled to every 15 ms";
    }
    EXPECT_EQ(ProgressScope::depth(), 0);
    EXPECT_EQ(s->progressLabels(), QStringList{"Reading"});
}
