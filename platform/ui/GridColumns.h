#pragma once
// The declared columns of a data grid. A column names a field of the grid's
// data set; its title falls back to the field's display label, its width to
// one derived from the field's display width. Changing a column updates the
// grid at once.
#include <QList>
#include <QString>
#include <memory>
#include <optional>

class TDBGrid;
class TField;

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

class TColumn;

class TColumnTitle {
public:
    explicit TColumnTitle(TColumn* column) : column_(column) {}
    // The caption set, or else the field's display label, or else the field name.
    QString Caption() const;
    void SetCaption(const QString& caption);

private:
    TColumn* column_;
    std::optional<QString> caption_;
};

class TColumn {
public:
    TColumn(TDBGrid* grid, int index) : grid_(grid), index_(index), title_(this) {}

    // Position in the grid's column list.
    int Index() const { return index_; }
    TDBGrid* Grid() const { return grid_; }
    QString FieldName() const { return fieldName_; }
    void SetFieldName(const QString& name);
    // The field of that name in the grid's data set, or nullptr.
    TField* Field() const;
    TColumnTitle& Title() { return title_; }
    const TColumnTitle& Title() const { return title_; }
    // The width set, or the field's display width in characters of the grid's font.
    int Width() const;
    void SetWidth(int width);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    // The alignment set, or the field's: numbers to the right, the rest to the left.
    TAlignment Alignment() const;
    void SetAlignment(TAlignment alignment);

private:
    friend class TColumnTitle;
    friend class TDBGrid;
    void Changed();
    // The user resized the column: remembered without a relayout.
    void KeepWidth(int width) { width_ = width; }
    TDBGrid* grid_;
    int index_;
    QString fieldName_;
    TColumnTitle title_;
    std::optional<int> width_;
    bool visible_ = true;
    std::optional<TAlignment> alignment_;
};

class TDBGridColumns {
public:
    explicit TDBGridColumns(TDBGrid* grid) : grid_(grid) {}

    TColumn* Add();
    int Count() const { return int(columns_.size()); }
    TColumn* Items(int index) const { return columns_.at(index).get(); }
    TColumn* operator[](int index) const { return Items(index); }
    void Clear();

private:
    TDBGrid* grid_;
    QList<std::shared_ptr<TColumn>> columns_;
};
