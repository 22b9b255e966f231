// THelpForm: the help window "使用帮助", named like the windows the shop's documents name (docs/names.md).
#pragma once

#include <QDialog>

// "使用帮助": a fixed page of usage notes, created at start and only shown or hidden.
class THelpForm final : public QDialog
{
    Q_OBJECT
public:
    explicit THelpForm(QWidget* parent = nullptr);

    static QStringList lines();
};
