#pragma once
// An EPCIS 2.0 document checked by a validator this project did not write:
// the npm package epcis2.js (its JSON schema validation and its CBV 2.0
// event hash generator), run by Node.js from the folder scripts/install-deps
// installs it into in the build (tests/support/epcis/validate.js).
// Raises std::runtime_error when Node.js or the package is missing, or the
// script fails; a document the validator refuses is a result, not an error.
#include <QString>
#include <QStringList>

struct TEpcisCheck {
    bool Valid = false;
    QStringList Errors;
    struct TEvent {
        QString EventId;  // as the document writes it
        QString Hash;     // as epcis2.js computes it
    };
    QList<TEvent> Events;
};

TEpcisCheck CheckEpcisDocument(const QString& path);
