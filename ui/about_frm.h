#pragma once

#include <QDialog>

namespace geminor {

/// Geminor's web address and support address, shown in the about window.
inline constexpr const char *kSupportAddress = "support@geminor.org";

/// "About Geminor": the program's picture, licence notice and links. A click on the window
/// (not on a link) closes it.
class AboutFrm : public QDialog
{
    Q_OBJECT
public:
    explicit AboutFrm(QWidget *parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

}  // namespace geminor
