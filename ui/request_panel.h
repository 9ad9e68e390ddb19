#pragma once

#include <QWidget>
#include <array>

#include "engine/request.h"
#include "ui/prompter.h"

class QCheckBox;
class QComboBox;
class QLayout;
class QRadioButton;
class QToolButton;
class QTreeWidget;

namespace geminor {

/// The search request's controls of the main window: the search-location list (`SearchList`)
/// with `cmdAdd` and `cmdRemove`, the methods `Option1` to `Option5` (similar pictures, with
/// its `cboSimilarity`) and the two options.
class RequestPanel final : public QWidget
{
    Q_OBJECT
public:
    RequestPanel(Prompter &prompter, QWidget *parent);

    /// The request as the controls hold it, and the controls set from a request.
    SearchRequest request() const;
    void setRequest(const SearchRequest &request);
    /// Adds one row to the search-location list and enables the remove button.
    void addLocation(const SearchLocation &row);
    /// Puts `row` in place of the location at `index`.
    void replaceLocation(int index, const SearchLocation &row);
    /// Removes the current row of the search-location list.
    void removeLocation();
    SearchMethod method() const;
    /// Every control on or off (off during a scan).
    void setControlsEnabled(bool enabled);

signals:
    /// cmdAdd was clicked: the window asks for a location.
    void addRequested();
    /// A location was double-clicked: the window asks for its new fields.
    void editRequested(int index);

private:
    QWidget *buildLocationList();
    QLayout *buildLocationButtons();
    QWidget *buildSearchEngine();
    void showMethodBold();
    void protectClicked();

    Prompter &m_prompter;
    QString m_protectMarker = QStringLiteral("Direct");
    QTreeWidget *m_searchList = nullptr;
    QToolButton *m_cmdAdd = nullptr;
    QToolButton *m_cmdRemove = nullptr;
    std::array<QRadioButton *, 5> m_options{};  // by SearchMethod
    QComboBox *m_similarity = nullptr;          // by Similarity; only for similar pictures
    QCheckBox *m_chkProtect = nullptr;
    QCheckBox *m_chkIncludeHidden = nullptr;
};

}  // namespace geminor
