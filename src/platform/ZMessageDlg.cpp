#include "platform/ZMessageDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

ZMessageDlg::ZMessageDlg(const QString& title, const QString& text, MessageDlgType type,
                         int timeout, QWidget* parent, const char* name, bool modal,
                         unsigned int flags)
    : QDialog(parent, Qt::Dialog)
{
    Q_UNUSED(type);
    Q_UNUSED(timeout);
    Q_UNUSED(flags);
    setObjectName(QString::fromLatin1(name));
    setModal(modal);
    setWindowTitle(title);

    auto* heading = new QLabel(title, this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    auto* message = new QLabel(text, this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(message);
    layout->addWidget(buttons);
}
