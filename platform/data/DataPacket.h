#pragma once
// TDataPacket: a whole table (field descriptions and rows) as one value.
//
// The storage is implicitly shared and immutable: copying a packet, handing it
// from one data set to another (`Data` -> `SetData`) or putting it in a
// QVariant is O(1), and nothing a data set does ever changes a packet another
// holder sees (a data set that deletes rows keeps its own overlay of deleted
// rows, see TDataSet). Values are stored by column: strings as QString, floats
// and date values as double, each with a null flag.
//
// Equality filters on string fields (`A = 'x' AND B = 'y'`) are answered from
// a hash index per key-field tuple, built on first use and cached inside the
// shared storage, so every data set holding the packet reuses it. Building the
// cache is thread-safe.
#include "data/FieldType.h"

#include <QList>
#include <QMetaType>
#include <QSharedDataPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

struct TFieldDesc {
    QString Name;
    TFieldType Type = TFieldType::ftString;
    int Size = 0;  // characters, for strings; 0 otherwise
    bool operator==(const TFieldDesc&) const = default;
};

// One column whole, as a packet stores it: a string column holds each text
// it was given once, in `Texts`, and one entry number per row (NullEntry for
// null): a work list repeats a branch, an invoice, a warehouse down
// thousands of rows, and four bytes a row cost less than a string each.
// Float and date columns hold their numbers and a null flag per row.
struct TPacketColumn {
    static constexpr quint32 NullEntry = 0xffffffffu;
    std::vector<QString> Texts;
    std::vector<quint32> Entries;
    std::vector<double> Numbers;
    std::vector<unsigned char> Nulls;

    // Room for `rows` values of a string column or of a number column.
    void Reserve(bool isString, size_t rows)
    {
        if (isString) {
            Entries.reserve(rows);
        } else {
            Numbers.reserve(rows);
            Nulls.reserve(rows);
        }
    }
    // One more row's value.
    void AddNull(bool isString)
    {
        if (isString) {
            Entries.push_back(NullEntry);
        } else {
            Numbers.push_back(0.0);
            Nulls.push_back(1);
        }
    }
    void AddNumber(double value)
    {
        Numbers.push_back(value);
        Nulls.push_back(0);
    }
    void AddText(QString text)
    {
        Entries.push_back(quint32(Texts.size()));
        Texts.push_back(std::move(text));
    }
    // A text the column already holds.
    void AddEntry(quint32 entry) { Entries.push_back(entry); }
};

class TDataPacket {
public:
    // A packet of `rows` rows from its columns, one per field (for a decoder
    // that reads whole columns, PacketCodec). Raises EDatabaseError when a
    // column does not hold `rows` values of its field's kind or names a text
    // it does not have.
    static TDataPacket FromColumns(QList<TFieldDesc> fields, std::vector<TPacketColumn> columns, int rows);

    TDataPacket();  // no fields, no rows
    TDataPacket(const TDataPacket&);
    TDataPacket& operator=(const TDataPacket&);
    TDataPacket(TDataPacket&&) noexcept;
    TDataPacket& operator=(TDataPacket&&) noexcept;
    ~TDataPacket();

    int FieldCount() const;
    const TFieldDesc& Field(int column) const;
    const QList<TFieldDesc>& Fields() const;
    int IndexOf(const QString& fieldName) const;  // case-insensitive; -1 when absent
    int RowCount() const;

    bool IsNull(int row, int column) const;
    // The value of a string column ("" when null or not a string column).
    const QString& String(int row, int column) const;
    // The value of a float or date column (0 when null or a string column).
    double Number(int row, int column) const;

    // A packet holding the given rows of this one, in that order.
    TDataPacket Select(const std::vector<int>& rows) const;
    // True when both share one storage (a copy of the other).
    bool SharesStorageWith(const TDataPacket& other) const;
    // Same fields and same values, row by row.
    bool operator==(const TDataPacket& other) const;

    // Rows whose string columns `columns` equal `key` (one value per column),
    // ascending. Null never equals anything. The index for that column tuple
    // is built once per storage.
    const std::vector<int>& RowsMatching(const std::vector<int>& columns, const QStringList& key) const;
    // How many indexes the shared storage has built (for tests of sharing).
    int IndexBuildCount() const;

    struct Storage;  // defined in the implementation only

private:
    friend class TDataPacketBuilder;
    std::shared_ptr<Storage> d;
};

Q_DECLARE_METATYPE(TDataPacket)

// Where the next value of a row goes, checked against the fields: shared by
// everything that takes a packet row by row (TDataPacketBuilder and the
// codec's TPacketWriter). Every refusal raises EDatabaseError.
class TRowCursor {
public:
    enum class TValue { Text, Number, Null };
    // The column of the next value; refuses a value past the last field, and
    // text for a float or date field or a number for a string field.
    int Take(const QList<TFieldDesc>& fields, TValue value)
    {
        // Inline: it runs for every value of every row.
        if (column_ >= fields.size()
            || (value != TValue::Null && (value == TValue::Text) != (fields[column_].Type == TFieldType::ftString)))
            Refuse(fields, value);
        return column_++;
    }
    // Refuses a row with another number of values than fields.
    void EndRow(const QList<TFieldDesc>& fields);
    // Refuses when a row was begun and not ended.
    void CheckNoOpenRow() const;
    bool AtRowStart() const { return column_ == 0; }

private:
    [[noreturn]] void Refuse(const QList<TFieldDesc>& fields, TValue value) const;

    int column_ = 0;
};

// Builds a packet row by row: declare the fields, then for every row append
// exactly one value per field, in field order, and call EndRow.
class TDataPacketBuilder {
public:
    explicit TDataPacketBuilder(QList<TFieldDesc> fields);
    ~TDataPacketBuilder();
    void Reserve(int rows);
    // A value equal to the previous row's in the column shares its text.
    void AddString(QString value);
    void AddNumber(double value);  // float and date columns
    void AddNull();
    // Ends the row; raises EDatabaseError when the row has the wrong number of values.
    void EndRow();
    int FieldCount() const;
    const QList<TFieldDesc>& Fields() const;
    int RowCount() const;  // rows ended so far
    // The packet; the builder is empty afterwards.
    TDataPacket Build();

private:
    std::shared_ptr<TDataPacket::Storage> s_;
    TRowCursor cursor_;
};
