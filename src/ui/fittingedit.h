#pragma once

#include <QLineEdit>

// A line edit that layouts never make narrower than it takes to show a sample
// text whole (a date, an article code), in whatever font and style it has.
class FittingEdit : public QLineEdit
{
public:
    explicit FittingEdit(const QString& sample, QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;

private:
    QString m_sample;
};
