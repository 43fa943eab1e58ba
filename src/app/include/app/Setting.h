// The settings dialog: the editor of Config.ini. It fills itself from the file each
// time it is shown and writes back when "存檔" is pressed; it keeps nothing itself.
// Controls carry the names of the design (edtHost, cbStkQty, rgStkQry, BitBtnPost...)
// as their object names.
#pragma once

#include "app/SettingValues.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QKeyEvent;

namespace app {

class ImageButton;

class TfrmSetting : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmSetting(QWidget* parent = nullptr);

  // Whether the POS database is started: the dialog then says that connection changes
  // take effect at the next start.
  void setConnected(bool connected);
  // A test connection waits this long for the server's login.
  static constexpr int kTestTimeoutSeconds = 5;

 public slots:
  // Leaving with changes not saved asks first.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  void edtHostKeyDown(QKeyEvent* event);
  void cbStkQtyClick();
  void BitBtnPostClick();
  // Connects with the values in the dialog, saved or not, and says what happened.
  void testConnection();
  void showDatabaseNote();

  void buildDatabaseGroup();
  void buildImportItemGroup();
  void buildInOutDataGroup();
  void setStockAction(int index);
  int stockAction() const;
  void showValues(const SettingValues& v);
  SettingValues enteredValues() const;

  QGroupBox* gbDatabase_ = nullptr;
  QGroupBox* gbImportItem_ = nullptr;
  QGroupBox* gbInOutData_ = nullptr;
  QLineEdit* edtHost_ = nullptr;
  QLineEdit* edtDatabase_ = nullptr;
  QLineEdit* edtUser_ = nullptr;
  QLineEdit* edtPassword_ = nullptr;
  QCheckBox* cbShelfNo_ = nullptr;
  QCheckBox* cbStkQty_ = nullptr;
  QGroupBox* rgStkQry_ = nullptr;
  QButtonGroup* rgStkQryItems_ = nullptr;
  QCheckBox* cbAvgCost_ = nullptr;
  QCheckBox* cbUniPrice_ = nullptr;
  QCheckBox* cbPrice_ = nullptr;
  QCheckBox* cbMemPrice_ = nullptr;
  QCheckBox* cbVipPrice_ = nullptr;
  QCheckBox* cbClassify_ = nullptr;
  QCheckBox* cbItem_ = nullptr;
  QCheckBox* cbSupplier_ = nullptr;
  QCheckBox* cbCustomer_ = nullptr;
  QCheckBox* cbEditsOnly_ = nullptr;
  QCheckBox* cbPreview_ = nullptr;
  QCheckBox* cbShowPassword_ = nullptr;
  QPushButton* btnTestConnection_ = nullptr;
  QLabel* lblDatabaseNote_ = nullptr;
  // The values as last read or saved: what "unsaved" is measured against.
  SettingValues shown_;
  bool sqlite_ = false;
  bool connected_ = false;
  QGroupBox* rgFileType_ = nullptr;
  // Ids: the values of SettingValues::FileType.
  QButtonGroup* rgFileTypeItems_ = nullptr;
  ImageButton* BitBtnPost_ = nullptr;
  ImageButton* BitBtnCancel_ = nullptr;
};

}  // namespace app
