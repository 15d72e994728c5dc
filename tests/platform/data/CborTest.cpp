#include "data/Cbor.h"

#include <QCborStreamWriter>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>

namespace {

QByteArray Ours(const std::function<void(TCborWriter&)>& write)
{
    QByteArray bytes;
    TCborWriter w(bytes);
    write(w);
    return bytes;
}

QByteArray Qts(const std::function<void(QCborStreamWriter&)>& write)
{
    QByteArray bytes;
    QCborStreamWriter w(&bytes);
    write(w);
    return bytes;
}

// Every head width, at both sides of each boundary.
const quint64 boundaries[] = {0, 23, 24, 255, 256, 65535, 65536, 0xffffffffu, 0x100000000u,
                              std::numeric_limits<quint64>::max()};

// The writer produces what a standard encoder does, so any CBOR library reads it.
TEST(Cbor, WriterMatchesAStandardEncoder)
{
    for (quint64 v : boundaries) {
        EXPECT_EQ(Ours([v](auto& w) { w.Unsigned(v); }), Qts([v](auto& w) { w.append(v); })) << v;
        EXPECT_EQ(Ours([v](auto& w) { w.Tag(v); }), Qts([v](auto& w) { w.append(QCborTag(v)); })) << v;
        if (v <= 65536) {
            EXPECT_EQ(Ours([v](auto& w) { w.StartArray(v); }), Qts([v](auto& w) { w.startArray(v); })) << v;
            const QString text(qsizetype(v), u'x');
            EXPECT_EQ(Ours([&](auto& w) { w.Text(text); }), Qts([&](auto& w) { w.append(text); })) << v;
        }
    }
    const QString accents = QString::fromUtf8("Conferência de Separação 😀");
    EXPECT_EQ(Ours([&](auto& w) { w.Text(accents); }), Qts([&](auto& w) { w.append(accents); }));
    for (double d : {0.0, -0.0, 1.5, 0.1, 1e300, -46363.25})
        EXPECT_EQ(Ours([d](auto& w) { w.Double(d); }), Qts([d](auto& w) { w.append(d); })) << d;
    EXPECT_EQ(Ours([](auto& w) { w.Bool(true); w.Bool(false); w.Null(); }),
              Qts([](auto& w) { w.append(true); w.append(false); w.append(nullptr); }));
}

// The writer copies items into the array's own block: a copy of the array
// taken before keeps its bytes, and the array stays a null-terminated
// QByteArray however far it grows.
TEST(Cbor, WriterLeavesCopiesAloneAndKeepsTheTerminator)
{
    QByteArray bytes("\x81", 1);
    const QByteArray before = bytes;
    TCborWriter w(bytes);
    w.Null();
    EXPECT_EQ(before, QByteArray("\x81", 1));
    EXPECT_EQ(bytes, QByteArray("\x81\xf6", 2));
    const QByteArray text(100'000, 'x');
    QByteArray expected = bytes + QByteArray::fromHex("7a000186a0") + text;
    w.Utf8(text);
    w.Utf8({});
    expected += char(0x60);
    for (int i = 0; i < 1000; ++i) {
        const QByteArray copy = bytes;
        w.Unsigned(quint64(i));
        EXPECT_EQ(copy.size() + (i < 24 ? 1 : i < 256 ? 2 : 3), bytes.size());
        expected += Qts([i](auto& q) { q.append(quint64(i)); });
    }
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(bytes.constData()[bytes.size()], '\0');
}

// The shortest form a standard encoder would choose for the same value, and
// the reader gets the very bits back.
TEST(Cbor, NumbersTakeTheirShortestExactForm)
{
    const std::pair<double, std::function<void(QCborStreamWriter&)>> cases[] = {
        {0.0, [](auto& w) { w.append(quint64(0)); }},
        {46700.0, [](auto& w) { w.append(quint64(46700)); }},
        {9007199254740992.0, [](auto& w) { w.append(quint64(9007199254740992)); }},
        {-3.0, [](auto& w) { w.append(qint64(-3)); }},
        {-0.0, [](auto& w) { w.append(qfloat16(-0.0f)); }},
        {12.25, [](auto& w) { w.append(qfloat16(12.25f)); }},
        {46700.5, [](auto& w) { w.append(46700.5f); }},
        {0.1, [](auto& w) { w.append(0.1); }},
        {1e-310, [](auto& w) { w.append(1e-310); }},
        {1e300, [](auto& w) { w.append(1e300); }},
        {std::numeric_limits<double>::infinity(), [](auto& w) { w.append(qfloat16(std::numeric_limits<float>::infinity())); }},
    };
    for (const auto& [value, standard] : cases) {
        const QByteArray bytes = Ours([value](auto& w) { w.Number(value); });
        EXPECT_EQ(bytes.toHex(), Qts(standard).toHex()) << value;
        TCborReader r(bytes);
        double back = 0;
        ASSERT_TRUE(r.TakeNumber(back));
        EXPECT_EQ(std::memcmp(&back, &value, sizeof back), 0) << value;
    }
}

TEST(Cbor, ReaderReadsEveryHeadWidthAndFloatWidth)
{
    for (quint64 v : boundaries) {
        const QByteArray bytes = Qts([v](auto& w) { w.append(v); w.append(QCborNegativeInteger(v ? v : 1)); w.append(QCborTag(v)); });
        TCborReader r(bytes);
        ASSERT_EQ(r.Kind(), TCborKind::Unsigned);
        EXPECT_EQ(r.Head().Value, v);
        r.Next();
        ASSERT_EQ(r.Kind(), TCborKind::Negative);
        EXPECT_EQ(r.Head().Value, (v ? v : 1) - 1) << "the argument of -1 - n is n";
        r.Next();
        ASSERT_EQ(r.Kind(), TCborKind::Tag);
        EXPECT_EQ(r.Head().Value, v);
        r.Next();
        EXPECT_TRUE(r.AtEnd());
    }
    const QByteArray floats = Qts([](auto& w) { w.append(qfloat16(1.5f)); w.append(-2.25f); w.append(0.1); });
    TCborReader r(floats);
    for (double expected : {1.5, -2.25, 0.1}) {
        ASSERT_EQ(r.Kind(), TCborKind::Float);
        EXPECT_EQ(r.Head().Number, expected);
        r.Next();
    }
    EXPECT_TRUE(r.AtEnd());
}

TEST(Cbor, ArraysOfEitherLengthAndChunkedText)
{
    // [_ "ab", (_ "c", "d"), [1] ]
    const QByteArray bytes = QByteArray::fromHex("9f" "626162" "7f" "6163" "6164" "ff" "8101" "ff");
    TCborReader r(bytes);
    QStringList texts;
    int items = 0;
    for (TCborArray outer(r, "teste"); outer.More(); ++items) {
        if (r.Kind() == TCborKind::Text) {
            texts << r.TakeString(100);
            continue;
        }
        TCborArray inner(r, "interna");
        EXPECT_EQ(inner.Length(), 1);
        ASSERT_TRUE(inner.More());
        EXPECT_EQ(r.Head().Value, 1u);
        r.Next();
        EXPECT_FALSE(inner.More());
    }
    EXPECT_EQ(items, 3);
    EXPECT_EQ(texts, QStringList({"ab", "cd"}));
    EXPECT_TRUE(r.AtEnd());
}

struct TMalformed {
    const char* name;
    const char* hex;
};

class CborRefuses : public ::testing::TestWithParam<TMalformed> {};

// Each input is read as: an array of texts, or one text; whichever the first
// item is. Every one must end in ECborError, never in a crash or a read past
// the input.
TEST_P(CborRefuses, WithCborError)
{
    const QByteArray bytes = QByteArray::fromHex(GetParam().hex);
    auto read = [&bytes] {
        TCborReader r(bytes);
        if (r.Kind() == TCborKind::Array) {
            for (TCborArray a(r, "teste"); a.More();)
                r.TakeString(8);
        } else {
            r.TakeString(8);
        }
    };
    EXPECT_THROW(read(), ECborError);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, CborRefuses,
    ::testing::Values(TMalformed{"reservedArgumentWidth", "1c"},
                      TMalformed{"indefiniteInteger", "1f"},
                      TMalformed{"truncatedArgument", "1901"},
                      TMalformed{"truncatedEightByteLength", "7b000000"},
                      TMalformed{"textPastTheInput", "656162"},
                      TMalformed{"hugeTextLength", "7bffffffffffffffff"},
                      TMalformed{"textOverTheLimit", "69616161616161616161"},
                      TMalformed{"chunkOfAnotherKind", "7f01ff"},
                      TMalformed{"nestedChunkedText", "7f7f6161ffff"},
                      TMalformed{"chunkedTextWithoutBreak", "7f6161"},
                      TMalformed{"chunkedTextOverTheLimit", "7f" "656161616161" "656161616161" "ff"},
                      TMalformed{"notText", "01"},
                      TMalformed{"definiteArrayCutShort", "836161"},
                      TMalformed{"indefiniteArrayWithoutBreak", "9f6161"},
                      TMalformed{"breakInsideADefiniteArray", "82ff"},
                      TMalformed{"hugeArrayLength", "9bffffffffffffffff"}),
    [](const auto& info) { return std::string(info.param.name); });

// Decoders size what they will hold from TextBytes before taking the text:
// a declared length is only believed when the input holds it.
TEST(Cbor, TextBytesBelievesNoLengthBeyondTheInput)
{
    for (const char* hex : {"656162", "7b4e5c000000000000", "7bffffffffffffffff", "7f6561ff"}) {
        SCOPED_TRACE(hex);
        const QByteArray bytes = QByteArray::fromHex(hex);
        EXPECT_THROW(TCborReader(bytes).TextBytes(), ECborError);
    }
    EXPECT_EQ(TCborReader(QByteArray::fromHex("63616263")).TextBytes(), 3);
    EXPECT_EQ(TCborReader(QByteArray::fromHex("7f6261626163ff")).TextBytes(), 3);
}

TEST(Cbor, Utf8IsChecked)
{
    EXPECT_EQ(Cbor::DecodeUtf8("plain"), QStringLiteral("plain"));
    EXPECT_EQ(Cbor::DecodeUtf8("Separa\xc3\xa7\xc3\xa3o"), QString::fromUtf8("Separação"));
    EXPECT_THROW(Cbor::DecodeUtf8("\xc3\x28"), ECborError);
    EXPECT_THROW(Cbor::DecodeUtf8("\xed\xa0\x80"), ECborError) << "a lone surrogate";
    // ASCII is told from the rest a word at a time: a non-ASCII character at
    // any place of a text of any length, within a word or its tail, and a
    // bad byte there, are each seen.
    for (int length = 1; length <= 20; ++length) {
        for (int at = 0; at < length; ++at) {
            QString text(length, u'a');
            text[at] = u'ç';
            SCOPED_TRACE(text.toStdString());
            EXPECT_EQ(Cbor::DecodeUtf8(text.toUtf8()), text);
            QByteArray bad(length, 'a');
            bad[at] = char(0xff);
            EXPECT_THROW(Cbor::DecodeUtf8(bad), ECborError);
        }
        EXPECT_EQ(Cbor::DecodeUtf8(QByteArray(length, '~')), QString(length, u'~'));
    }
}

} // namespace
