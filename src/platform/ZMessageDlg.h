#pragma once

#include <QDialog>

// The platform's modal message dialog: a title, a text and one button that accepts it.
class ZMessageDlg : public QDialog
{
    Q_OBJECT
  public:
    enum MessageDlgType { TypeOK = 0, TypeConfirm = 1, TypeError = 2 };

    ZMessageDlg(const QString& title, const QString& text, MessageDlgType type, int timeout,
                QWidget* parent, const char* name = nullptr, bool modal = true,
                unsigned int flags = 0);
};
