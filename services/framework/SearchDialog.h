#pragma once
// TSearchDialog: the search dialog over an open data set (the interactive
// answer to the dialog service's Search, opened by Procurar::Procura).
//
// The user picks one of the data set's visible fields (by display label),
// types a value and asks for the first or the next row holding it. A row
// holds the value when the field's text as the user sees it (DisplayText:
// display format, edit mask, OnGetText) starts with it, case-insensitively
// — the partial, case-insensitive key of Locate, but on the shown text, so
// dates, numbers and coded values are found as the grids show them (Locate
// compares stored values). Only the visible rows (the filter's) are
// searched, in their order, without moving the cursor until a row is found;
// then the cursor moves there (AfterScroll runs when it moved).
//
// FindFirst searches from the first row, FindNext from the row after the
// cursor. What happened shows in the dialog's status line: the row found
// ("Registro 3 de 4."), "Nenhum registro encontrado.", "Nenhum outro
// registro encontrado." or "Informe o valor a procurar.". The buttons run
// inside the dispatch boundary.
#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TDataSet;

class TSearchDialog : public QDialog {
public:
    explicit TSearchDialog(TDataSet* dataSet, QWidget* parent = nullptr);

    QComboBox* FieldBox() const { return fieldBox_; }
    QLineEdit* ValueEdit() const { return valueEdit_; }
    QPushButton* FindFirstButton() const { return findFirst_; }
    QPushButton* FindNextButton() const { return findNext_; }
    QString Status() const;

    // As the buttons do; true when a row was found.
    bool FindFirst();
    bool FindNext();

private:
    bool FindFrom(int position, const QString& notFound);

    TDataSet* dataSet_;
    QComboBox* fieldBox_;
    QLineEdit* valueEdit_;
    QPushButton* findFirst_;
    QPushButton* findNext_;
    QLabel* status_;
};

// Shows the dialog modally over the active window (DialogPlacement.h).
void RunSearch(TDataSet* dataSet);
