#pragma once
// The process-wide format settings, Brazilian by default. Every display text
// of numbers and dates reads them, so a host may change them once at start.
#include <QChar>
#include <QString>
#include <QStringList>

struct TFormatSettings {
    QChar DecimalSeparator = u',';
    QChar ThousandSeparator = u'.';
    QChar DateSeparator = u'/';
    QChar TimeSeparator = u':';
    QString ShortDateFormat = QStringLiteral("dd/mm/yyyy");
    QString LongTimeFormat = QStringLiteral("hh:nn:ss");
    QStringList ShortMonthNames = {"jan", "fev", "mar", "abr", "mai", "jun",
                                   "jul", "ago", "set", "out", "nov", "dez"};
    QStringList LongMonthNames = {"janeiro", "fevereiro", "março", "abril", "maio", "junho",
                                  "julho", "agosto", "setembro", "outubro", "novembro", "dezembro"};
    QStringList ShortDayNames = {"dom", "seg", "ter", "qua", "qui", "sex", "sáb"};
    QStringList LongDayNames = {"domingo", "segunda-feira", "terça-feira", "quarta-feira",
                                "quinta-feira", "sexta-feira", "sábado"};
};

TFormatSettings& FormatSettings();
