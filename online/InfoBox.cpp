#include "online/InfoBox.h"

#include <QMessageBox>

void InfoBox::Show(const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Information, text, text, QMessageBox::Ok, nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}
