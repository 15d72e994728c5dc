#pragma once
// String helpers with the classic semantics the framework builds on:
// trimming removes every character up to and including the blank (control
// characters too), not only Unicode white space.
#include <QString>

// 'text' with single quotes around it and every inner quote doubled.
QString QuotedStr(const QString& text);
QString Trim(const QString& text);
QString TrimLeft(const QString& text);
QString TrimRight(const QString& text);
// True when the text holds nothing but characters Trim removes.
bool IsBlank(const QString& text);
// The number the whole text holds, or `fallback` when it holds none.
int StrToIntDef(const QString& text, int fallback);
