#include "text/pinyininitials.h"
#include "text/pinyinlists.h"

#include <QSet>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Letters of the lists that hold the two bytes of a character as a whole entry.
QByteArray listsHoldingEntry(const QByteArray& character)
{
    QByteArray letters;
    for (const PinyinLetterList& list : PinyinLetterLists()) {
        for (size_t i = 0; i + 3 <= list.text.size(); i += 3) {
            if (list.text.substr(i, 2) == std::string_view(character.constData(), 2))
                letters.append(list.letter);
        }
    }
    return letters;
}

} // namespace

class TestPinyin final : public QObject
{
    Q_OBJECT

private slots:
    void bothApis_data();
    void bothApis();
    void bytesOnly_data();
    void bytesOnly();
    void unicodeWithoutGbk_data();
    void unicodeWithoutGbk();
    void codeRanges_data();
    void codeRanges();
    void severalLists_data();
    void severalLists();
    void listShape();
};

// The same text through the byte function (GBK written out) and through the
// Unicode convenience, which must convert to exactly those bytes.
void TestPinyin::bothApis_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("gbk");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty") << QString() << QByteArray() << QByteArray();
    QTest::newRow("first level") << u"李宁"_s << QByteArray("\xC0\xEE\xC4\xFE") << QByteArray("ln");
    QTest::newRow("first level 4") << u"乒乓球拍"_s << QByteArray("\xC6\xB9\xC5\xD2\xC7\xF2\xC5\xC4")
                                   << QByteArray("ppqp");
    QTest::newRow("first level 3") << u"羽毛球"_s << QByteArray("\xD3\xF0\xC3\xAB\xC7\xF2") << QByteArray("ymq");
    QTest::newRow("first level a") << u"阿迪达斯"_s << QByteArray("\xB0\xA2\xB5\xCF\xB4\xEF\xCB\xB9")
                                   << QByteArray("adds");
    QTest::newRow("signs keep case") << u"篮球-XL"_s << QByteArray("\xC0\xBA\xC7\xF2-XL") << QByteArray("lq-XL");
    QTest::newRow("x range") << u"T恤"_s << QByteArray("T\xD0\xF4") << QByteArray("Tx");
    QTest::newRow("d list") << u"耷"_s << QByteArray("\xDE\xC7") << QByteArray("d");
    // The three strokes have no letter; the other radicals the dictionaries
    // give no reading take their kMandarin one.
    QTest::newRow("stroke 丨") << u"丨"_s << QByteArray("\xD8\xAD") << QByteArray("!");
    QTest::newRow("strokes and radicals")
        << u"丿丶亻扌氵"_s << QByteArray("\xD8\xAF\xD8\xBC\xD8\xE9\xDE\xD0\xE3\xDF") << QByteArray("!!rss");
    QTest::newRow("first of the j list") << u"丌"_s << QByteArray("\xD8\xA2") << QByteArray("j");
    QTest::newRow("full-width brackets") << u"（大）"_s << QByteArray("\xA3\xA8\xB4\xF3\xA3\xA9") << QByteArray("!d!");
    QTest::newRow("blank swallows digit") << u"Nike 2013"_s << QByteArray("Nike 2013") << QByteArray("Nike!013");
    QTest::newRow("blank swallows letter") << u"a b"_s << QByteArray("a b") << QByteArray("a!");
    QTest::newRow("a before y") << u"嗌"_s << QByteArray("\xE0\xC9") << QByteArray("a");
    QTest::newRow("b before p") << u"钯"_s << QByteArray("\xEE\xD9") << QByteArray("b");
    QTest::newRow("c before t, x") << u"镡"_s << QByteArray("\xEF\xE2") << QByteArray("c");
    QTest::newRow("all signs") << u"!.#$%()*+-,/[\\|^~`@{}_"_s << QByteArray("!.#$%()*+-,/[\\|^~`@{}_")
                               << QByteArray("!.#$%()*+-,/[\\|^~`@{}_");
    // Each sign outside the set starts a unit with the next byte.
    QTest::newRow("signs outside") << u"&x=y\"z'w:v;<>?]"_s << QByteArray("&x=y\"z'w:v;<>?]") << QByteArray("!!!!!!!!");
}

void TestPinyin::bothApis()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, gbk);
    QFETCH(QByteArray, expected);

    QCOMPARE(PinyinInitials(gbk), expected);
    QCOMPARE(PinyinInitials(text), QString::fromLatin1(expected));
}

// Byte sequences no Unicode text converts to: stray and trailing lead bytes,
// units that straddle characters or list entries.
void TestPinyin::bytesOnly_data()
{
    QTest::addColumn<QByteArray>("gbk");
    QTest::addColumn<QByteArray>("expected");

    // The last byte pairs with a zero byte; 0xB100 lies in the b range.
    QTest::newRow("trailing lead in range") << QByteArray("ab\xB1") << QByteArray("abb");
    QTest::newRow("trailing lead no range") << QByteArray("\xB0") << QByteArray("!");
    QTest::newRow("trailing second level lead") << QByteArray("\xC0\xEE\xD8") << QByteArray("l!");
    // GBK extension character (second byte below 0xA1) inside the b range.
    QTest::newRow("extension code in range") << QByteArray("\xB1\x40") << QByteArray("b");
    // A blank before a Chinese character pairs with its lead byte; the next unit
    // starts at the trail byte. 0x20 0xE0 occurs across two a-list entries
    // ("... \xE0\xC4 ..."), and 0xC900 lies in the s range.
    QTest::newRow("blank before character") << QByteArray(" \xE0\xC9") << QByteArray("as");
    // Trail byte and blank across the end of an a-list entry ("\xF7\xA1 ").
    QTest::newRow("trail byte and blank") << QByteArray("\xA1 ") << QByteArray("a");
    QTest::newRow("zero byte") << QByteArray("x\0y", 3) << QByteArray("x!");
}

void TestPinyin::bytesOnly()
{
    QFETCH(QByteArray, gbk);
    QFETCH(QByteArray, expected);
    QCOMPARE(PinyinInitials(gbk), expected);
}

void TestPinyin::unicodeWithoutGbk_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    // A character GBK lacks is one unit giving "!", and what follows stays aligned.
    QTest::newRow("emoji") << u"😀"_s << u"!"_s;
    QTest::newRow("emoji between") << u"李😀宁"_s << u"l!n"_s;
    QTest::newRow("hangul between") << u"a한b"_s << u"a!b"_s;
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + u"宁"_s << u"!n"_s;
    // GBK has é (0xA8A6): a unit without range or list.
    QTest::newRow("latin") << u"café"_s << u"caf!"_s;
}

void TestPinyin::unicodeWithoutGbk()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(PinyinInitials(text), expected);
}

void TestPinyin::codeRanges_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected"); // empty: no letter

    QTest::newRow("below a") << 0xB0A0 << QString();
    QTest::newRow("a first 啊") << 0xB0A1 << u"a"_s;
    QTest::newRow("a last 澳") << 0xB0C4 << u"a"_s;
    QTest::newRow("b first 芭") << 0xB0C5 << u"b"_s;
    QTest::newRow("h last 祸") << 0xBBF6 << u"h"_s;
    QTest::newRow("j first 击") << 0xBBF7 << u"j"_s;
    QTest::newRow("n last 诺") << 0xC5B5 << u"n"_s;
    QTest::newRow("o first 哦") << 0xC5B6 << u"o"_s;
    QTest::newRow("o last 沤") << 0xC5BD << u"o"_s;
    QTest::newRow("p first 啪") << 0xC5BE << u"p"_s;
    QTest::newRow("w first 挖") << 0xCDDA << u"w"_s;
    QTest::newRow("z last 座") << 0xD7F9 << u"z"_s;
    QTest::newRow("after z") << 0xD7FA << QString();
    QTest::newRow("second level") << 0xD8A1 << QString();
    QTest::newRow("symbol row") << 0xA3BF << QString();
    QTest::newRow("extension code") << 0xD740 << u"z"_s;
}

void TestPinyin::codeRanges()
{
    QFETCH(int, code);
    QFETCH(QString, expected);

    const std::optional<char> letter =
        InitialOfCode(static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code & 0xFF));
    QCOMPARE(letter ? QString(QLatin1Char(*letter)) : QString(), expected);
}

// A character in several lists takes the letter of the first list in a..z order.
void TestPinyin::severalLists_data()
{
    QTest::addColumn<QByteArray>("gbk");
    QTest::addColumn<QByteArray>("lists");

    QTest::newRow("嗌 ài yì") << QByteArray("\xE0\xC9") << QByteArray("ay");
    QTest::newRow("钯 bǎ pá") << QByteArray("\xEE\xD9") << QByteArray("bp");
    QTest::newRow("镡 chán tán xín") << QByteArray("\xEF\xE2") << QByteArray("ctx");
    QTest::newRow("俟 qí sì") << QByteArray("\xD9\xB9") << QByteArray("qs");
}

void TestPinyin::severalLists()
{
    QFETCH(QByteArray, gbk);
    QFETCH(QByteArray, lists);

    QCOMPARE(listsHoldingEntry(gbk), lists);
    QCOMPARE(PinyinInitials(gbk), lists.left(1));
}

// The committed lists as the generator reported them: second-level characters
// only, each followed by one blank, once per list.
void TestPinyin::listShape()
{
    const QByteArray letters = "abcdefghjklmnopqrstwxyz";
    const int sizes[] = {36, 136, 196, 148, 27, 84,  148, 150, 241, 100, 229, 134,
                         83, 6,   109, 178, 43, 196, 129, 88,  185, 281, 234};
    const auto& lists = PinyinLetterLists();
    QSet<QByteArray> distinct;
    int entries = 0;
    for (size_t i = 0; i < lists.size(); ++i) {
        const PinyinLetterList& list = lists[i];
        QCOMPARE(list.letter, letters.at(qsizetype(i)));
        QCOMPARE(list.text.size() % 3, 0u);
        QCOMPARE(int(list.text.size() / 3), sizes[i]);
        QSet<QByteArray> inList;
        for (size_t pos = 0; pos < list.text.size(); pos += 3) {
            const auto lead = static_cast<unsigned char>(list.text[pos]);
            const auto trail = static_cast<unsigned char>(list.text[pos + 1]);
            QVERIFY2(lead >= 0xD8 && lead <= 0xF7 && trail >= 0xA1 && trail <= 0xFE,
                     qPrintable(QStringLiteral("list %1 entry %2").arg(QLatin1Char(list.letter)).arg(pos / 3)));
            QCOMPARE(list.text[pos + 2], ' ');
            const QByteArray character(list.text.data() + pos, 2);
            QVERIFY(!inList.contains(character));
            inList.insert(character);
            distinct.insert(character);
        }
        entries += int(list.text.size() / 3);
    }
    QCOMPARE(entries, 3161);
    QCOMPARE(distinct.size(), 3005); // every second-level character but 丨 丿 丶 has a letter
    // Ordered by reading, then code: the d list opens with the three dā characters.
    QVERIFY(lists[3].text.starts_with("\xDE\xC7 \xDF\xD5 \xE0\xAA ")); // 耷 哒 嗒
}

QTEST_GUILESS_MAIN(TestPinyin)
#include "tst_pinyin.moc"
