#pragma once

// The receipt form of the main window: its boxes, the arithmetic that follows every keystroke, the
// prefill from an address's last receipt, the options stored as they change (rounding, the
// two-row or three-row layout, the price lock, the charging period, the captions) and the number
// proposed for a new receipt. It works the form's widgets of the window's template; what a save,
// an opened receipt or a deletion does with the form is the window's business.

#include "receipt/ReceiptForm.h"

#include "print/ReceiptLayout.h"

#include <QObject>

#include <optional>

namespace Ui {
class CReceiptDlg;
}
class CAutoCompleteCombo;
class FormBoxFilter;
class Database;
class QLineEdit;
class QPoint;
class QWidget;
struct FormSettings;

class ReceiptFormPanel : public QObject {
    Q_OBJECT
public:
    // db is the window's long-lived connection, opDb the one each operation opens and closes;
    // window is where messages appear and whose focus the wheel follows.
    ReceiptFormPanel(Ui::CReceiptDlg* ui, Database& db, Database& opDb, QWidget* window);

    // Data exchange: the boxes into the form, handed to the command at hand; and the form back.
    ReceiptForm& pullForm();
    void pushForm();
    const ReceiptForm& form() const { return m_form; }

    // Start-up: the stored options and captions, the proposed number, prices and pick-lists.
    void applySettings(const FormSettings& settings);
    void nextNumber();
    void loadPrices();
    void fillPickLists();
    void focusAddress();

    void OnPrefill(const QString& address);
    // A fresh receipt: the next number, the price table's prices, this month's charging period.
    void resetForNewReceipt();
    // A stored receipt opened for viewing or amending (its RECEIPT row; nothing when it is gone).
    void showStored(const QString& number, const std::optional<QStringList>& row);
    // A new receipt for a room, prefilled from the room's last receipt.
    void startFor(const QString& room);
    // The proposed number follows what other clerks store.
    void followNextNumber();
    void setEditable(bool editable);

    // True when the boxes hold typing that the form as last reset, saved or opened does not.
    bool hasUnsavedWork();
    // The form as it stands is the one closing compares with.
    void keepAsBaseline() { m_baseline = m_form; }

    QString hotWaterCaption() const;
    QString shownNumber() const;
    // The form's receipt as the page draws it.
    ReceiptPrintData printData() const;

    // The wheel turned over the window: the date picker or box the operator works in steps, when
    // the pointer is over it.
    void wheelTurned(bool up, const QPoint& globalPointer);

signals:
    // The address caption as stored when its box lost the focus: it heads the list's column too.
    void addressCaptionStored(const QString& caption);
    // The hot-water caption as it stands: the summary line names it.
    void hotWaterCaptionChanged(const QString& caption);

private:
    void connectForm();
    void onReadingChanged(Meter meter);
    void onPriceChanged(Meter meter);
    void onFeeChanged();
    void onRoundingClicked();
    void onUnlockPricesClicked();
    void onLayoutChanged(int index);
    void onChargingPeriodClicked();
    void onCaptionFocusLost(QLineEdit* box);
    void onPriceFocusLost(QLineEdit* box);
    void applyHotWaterBoxes();
    QList<std::pair<QLineEdit*, QString ReceiptForm::*>> textBoxes() const;
    QList<std::pair<CAutoCompleteCombo*, QString ReceiptForm::*>> comboBoxes() const;
    QList<QLineEdit*> numericBoxes() const;
    QList<QLineEdit*> captionBoxes() const;

    Ui::CReceiptDlg* ui; // the window's template
    Database& m_db;
    Database& m_opDb;
    QWidget* m_window;
    FormBoxFilter* m_boxFilter = nullptr;
    ReceiptForm m_form;
    // The form as last reset, saved or opened: closing asks only when the typed boxes differ.
    ReceiptForm m_baseline;
    // The form's number is the one proposed for a new receipt (not one carried over from a stored
    // receipt): it follows what other clerks store.
    bool m_bNumberProposed = false;
    bool m_pushing = false;
};
