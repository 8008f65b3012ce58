#pragma once

#include "platform/Dialogs.h"

#include <QString>

class QWidget;

namespace qb {

// Message and input boxes as Qt's modal dialogs.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr);

protected:
    BoxAnswer ShowMessageBox(const MessageBoxRequest& request) override;
    std::string ShowInputBox(const InputBoxRequest& request) override;

private:
    QWidget* m_parent;
};

// The program's texts break lines with CR LF or a lone CR; Qt's labels
// only break on LF.
QString DisplayText(const std::string& text);

}  // namespace qb
