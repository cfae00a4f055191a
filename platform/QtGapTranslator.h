#pragma once

#include <QTranslator>

// Russian for the few texts of Qt's file dialogs that Qt's own Russian catalogue
// lacks (the "Type" column reads "Folder" for every folder otherwise).
class TQtGapTranslator : public QTranslator
{
public:
    using QTranslator::QTranslator;

    QString translate(const char* Context, const char* SourceText, const char* Disambiguation = nullptr,
                      int N = -1) const override;
    bool isEmpty() const override { return false; }
};
