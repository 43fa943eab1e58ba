#include "app/Setting.h"

#include "app/ErrorHandler.h"
#include "app/Fonts.h"
#include "app/ImageButton.h"

#include "app/ResponsiveWait.h"

#include <config/Configs.h>
#include <db/Connection.h>
#include <platform/Error.h>
#include <platform/ProgramFolder.h>
#include <platform/UiServices.h>
#include <posdb/DmMdf.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace app {
namespace {

constexpr int kClientWidth = 452;
constexpr int kClientHeight = 687;
// The database group's height and the rows the import/export group gained.
constexpr int kDatabaseHeight = 180;
constexpr int kInOutHeight = 214;

QLineEdit* makeEdit(QWidget* parent, const char* name, QRect geometry) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  edit->setGeometry(geometry);
  edit->setFont(fonts::arial(13));
  QPalette pal = edit->palette();
  pal.setColor(QPalette::Base, QColor(192, 255, 255));
  pal.setColor(QPalette::Text, Qt::black);
  edit->setPalette(pal);
  return edit;
}

void makeLabel(QWidget* parent, const char* name, const QString& caption, QPoint at) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QLatin1String(name));
  label->move(at);
  label->adjustSize();
}

QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* check = new QCheckBox(caption, parent);
  check->setObjectName(QLatin1String(name));
  check->setGeometry(geometry);
  return check;
}

}  // namespace

TfrmSetting::TfrmSetting(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmSetting"));
  setWindowTitle(QStringLiteral("參數設定"));
  // A fixed dialog frame whose title bar carries only the close box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(fonts::newMingLiU(13));

  buildDatabaseGroup();
  buildImportItemGroup();
  buildInOutDataGroup();

  BitBtnPost_ = new ImageButton(QStringLiteral("存檔"), QStringLiteral("write"), QSize(16, 16),
                                ImageButton::Layout::ImageLeft, 4, this);
  BitBtnPost_->setObjectName(QStringLiteral("BitBtnPost"));
  BitBtnPost_->setGeometry(72, kClientHeight - 44, 100, 30);
  BitBtnCancel_ = new ImageButton(QStringLiteral("離開"), QStringLiteral("cancel"), QSize(16, 16),
                                  ImageButton::Layout::ImageLeft, 4, this);
  BitBtnCancel_->setObjectName(QStringLiteral("BitBtnCancel"));
  BitBtnCancel_->setGeometry(280, kClientHeight - 44, 100, 30);

  connect(BitBtnPost_, &QAbstractButton::clicked, this,
          [this] { guard([this] { BitBtnPostClick(); }); });
  connect(BitBtnCancel_, &QAbstractButton::clicked, this, &QDialog::reject);
  connect(cbShowPassword_, &QAbstractButton::toggled, this, [this](bool shown) {
    edtPassword_->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
  });
  connect(btnTestConnection_, &QAbstractButton::clicked, this,
          [this] { guard([this] { testConnection(); }); });
  connect(cbStkQty_, &QAbstractButton::clicked, this,
          [this] { guard([this] { cbStkQtyClick(); }); });

  QWidget* order[] = {edtHost_,
                      edtDatabase_,
                      edtUser_,
                      edtPassword_,
                      cbShelfNo_,
                      cbStkQty_,
                      rgStkQryItems_->button(0),
                      rgStkQryItems_->button(1),
                      cbAvgCost_,
                      cbUniPrice_,
                      cbPrice_,
                      cbMemPrice_,
                      cbVipPrice_,
                      cbClassify_,
                      cbItem_,
                      cbSupplier_,
                      cbCustomer_,
                      cbEditsOnly_,
                      cbPreview_,
                      rgFileTypeItems_->button(int(SettingValues::FileType::Mdb)),
                      rgFileTypeItems_->button(int(SettingValues::FileType::Xlsx)),
                      BitBtnPost_,
                      BitBtnCancel_,
                      cbShowPassword_,
                      btnTestConnection_};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
  for (QLineEdit* edit : {edtHost_, edtDatabase_, edtUser_, edtPassword_})
    edit->installEventFilter(this);
}

void TfrmSetting::buildDatabaseGroup() {
  gbDatabase_ = new QGroupBox(QStringLiteral("資料庫"), this);
  gbDatabase_->setObjectName(QStringLiteral("gbDatabase"));
  gbDatabase_->setGeometry(0, 0, kClientWidth, kDatabaseHeight);
  makeLabel(gbDatabase_, "lblHost", QStringLiteral("位址"), {16, 31});
  edtHost_ = makeEdit(gbDatabase_, "edtHost", {64, 27, 140, 21});
  makeLabel(gbDatabase_, "LabelDatabase", QStringLiteral("資料庫"), {240, 31});
  edtDatabase_ = makeEdit(gbDatabase_, "edtDatabase", {292, 27, 140, 21});
  makeLabel(gbDatabase_, "LabelUser", QStringLiteral("使用者"), {16, 65});
  edtUser_ = makeEdit(gbDatabase_, "edtUser", {64, 61, 140, 21});
  makeLabel(gbDatabase_, "LabelPassword", QStringLiteral("密碼"), {240, 65});
  edtPassword_ = makeEdit(gbDatabase_, "edtPassword", {292, 61, 140, 21});
  // Someone may look over the operator's shoulder: the password is shown on request.
  edtPassword_->setEchoMode(QLineEdit::Password);
  cbShowPassword_ =
      makeCheck(gbDatabase_, "cbShowPassword", QStringLiteral("顯示密碼"), {292, 90, 140, 20});
  btnTestConnection_ = new QPushButton(QStringLiteral("測試連線"), gbDatabase_);
  btnTestConnection_->setObjectName(QStringLiteral("btnTestConnection"));
  btnTestConnection_->setGeometry(64, 87, 140, 26);
  btnTestConnection_->setAutoDefault(false);
  lblDatabaseNote_ = new QLabel(gbDatabase_);
  lblDatabaseNote_->setObjectName(QStringLiteral("lblDatabaseNote"));
  lblDatabaseNote_->setGeometry(16, 120, 420, 54);
  lblDatabaseNote_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TfrmSetting::buildImportItemGroup() {
  gbImportItem_ = new QGroupBox(QStringLiteral(" 匯入商品設定 "), this);
  gbImportItem_->setObjectName(QStringLiteral("gbImportItem"));
  gbImportItem_->setGeometry(0, kDatabaseHeight, kClientWidth, 235);
  const struct {
    const char* name;
    const char* caption;
    QCheckBox** check;
  } checks[] = {
      {"cbShelfNo", "更新貨架", &cbShelfNo_},      {"cbStkQty", "更新庫存量", &cbStkQty_},
      {"cbAvgCost", "更新平均成本", &cbAvgCost_},  {"cbUniPrice", "更新最新進價", &cbUniPrice_},
      {"cbPrice", "更新售價", &cbPrice_},          {"cbMemPrice", "更新會員價格", &cbMemPrice_},
      {"cbVipPrice", "更新VIP價格", &cbVipPrice_},
  };
  int y = 26;
  for (const auto& c : checks) {
    *c.check = makeCheck(gbImportItem_, c.name, QString::fromUtf8(c.caption), {24, y, 150, 20});
    (*c.check)->setFont(fonts::mingLiU(13));
    y += 28;
  }

  rgStkQry_ = new QGroupBox(QStringLiteral("更新庫存量"), gbImportItem_);
  rgStkQry_->setObjectName(QStringLiteral("rgStkQry"));
  rgStkQry_->setGeometry(196, 42, 232, 74);
  rgStkQryItems_ = new QButtonGroup(rgStkQry_);
  const char* items[] = {"庫存量覆蓋", "庫存量累計計算"};
  for (int i = 0; i < 2; ++i) {
    auto* radio = new QRadioButton(QString::fromUtf8(items[i]), rgStkQry_);
    radio->setObjectName(QStringLiteral("rgStkQry%1").arg(i));
    radio->setGeometry(12, 20 + 24 * i, 200, 20);
    rgStkQryItems_->addButton(radio, i);
  }
}

void TfrmSetting::buildInOutDataGroup() {
  gbInOutData_ = new QGroupBox(QStringLiteral(" 匯出 / 匯入設定 "), this);
  gbInOutData_->setObjectName(QStringLiteral("gbInOutData"));
  gbInOutData_->setGeometry(0, kDatabaseHeight + 235, kClientWidth, kInOutHeight);
  cbClassify_ = makeCheck(gbInOutData_, "cbClassify", QStringLiteral("分類資料匯出 / 匯入"),
                          {24, 30, 200, 20});
  cbItem_ =
      makeCheck(gbInOutData_, "cbItem", QStringLiteral("商品資料匯出 / 匯入"), {240, 30, 200, 20});
  cbSupplier_ = makeCheck(gbInOutData_, "cbSupplier", QStringLiteral("廠商資料匯出 / 匯入"),
                          {24, 62, 200, 20});
  cbCustomer_ = makeCheck(gbInOutData_, "cbCustomer", QStringLiteral("會員資料匯出 / 匯入"),
                          {240, 62, 200, 20});
  cbEditsOnly_ = makeCheck(gbInOutData_, "cbEditsOnly",
                           QStringLiteral("只匯入在交換檔案中修改過的欄位"), {24, 94, 400, 20});
  cbPreview_ =
      makeCheck(gbInOutData_, "cbPreview", QStringLiteral("匯入前先預覽"), {24, 122, 150, 20});

  // The format of the exchange files, for export and import alike. The second item
  // lines up with the right-hand column of the table switches above.
  rgFileType_ = new QGroupBox(QStringLiteral("交換檔案格式"), gbInOutData_);
  rgFileType_->setObjectName(QStringLiteral("rgFileType"));
  rgFileType_->setGeometry(24, 150, 408, 50);
  rgFileTypeItems_ = new QButtonGroup(rgFileType_);
  const struct {
    const char* name;
    const char* caption;
    SettingValues::FileType type;
    int x;
  } items[] = {
      {"rbFileTypeMdb", "Access (.mdb)", SettingValues::FileType::Mdb, 12},
      {"rbFileTypeXlsx", "Excel (.xlsx)", SettingValues::FileType::Xlsx, 216},
  };
  for (const auto& item : items) {
    auto* radio = new QRadioButton(QLatin1String(item.caption), rgFileType_);
    radio->setObjectName(QLatin1String(item.name));
    radio->setGeometry(item.x, 20, 180, 20);
    rgFileTypeItems_->addButton(radio, int(item.type));
  }
}

void TfrmSetting::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (const QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  guard([this] { FormShow(); });
}

void TfrmSetting::keyPressEvent(QKeyEvent* event) {
  // Neither button is the default or the cancel button: Enter and Escape press
  // nothing and do not close the dialog.
  if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
      event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TfrmSetting::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && (watched == edtHost_ || watched == edtDatabase_ ||
                                            watched == edtUser_ || watched == edtPassword_))
    guard([this, event] { edtHostKeyDown(static_cast<QKeyEvent*>(event)); });
  return QDialog::eventFilter(watched, event);
}

void TfrmSetting::FormShow() {
  shown_ = SettingValues::read(config::Config());
  showValues(shown_);
  sqlite_ = config::Config()
                .read(config::keys::Provider)
                .compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0;
  showDatabaseNote();
  edtHost_->setFocus(Qt::OtherFocusReason);
}

void TfrmSetting::setConnected(bool connected) {
  connected_ = connected;
  showDatabaseNote();
}

void TfrmSetting::showDatabaseNote() {
  QStringList lines;
  if (sqlite_)
    lines << QStringLiteral("目前使用示範用的 SQLite 資料庫：「資料庫」是它的檔案名稱，")
          << QStringLiteral("位址、使用者與密碼不會用到。");
  if (connected_)
    lines << QStringLiteral("資料庫已啟動：連線設定的修改在下次「啟動資料庫」時生效。");
  lblDatabaseNote_->setText(lines.join(QLatin1Char('\n')));
}

void TfrmSetting::testConnection() {
  posdb::PosSettings settings = posdb::PosSettings::fromConfig();
  settings.host = edtHost_->text();
  settings.database = edtDatabase_->text();
  settings.user = edtUser_->text();
  settings.password = edtPassword_->text();
  const QString where =
      sqlite_
          ? QStringLiteral("資料庫檔案「%1」").arg(settings.database)
          : QStringLiteral("伺服器「%1」上的資料庫「%2」").arg(settings.host, settings.database);
  QString text = posdb::TDmMSSQL::connectionString(settings);
  if (sqlite_) {
    // Opening a file that is not there would make an empty database of it.
    const QFileInfo file(QDir::isAbsolutePath(settings.database)
                             ? settings.database
                             : platform::programFolder() + settings.database);
    if (!file.isFile())
      throw platform::Error(
          QStringLiteral("找不到%1（%2）：請確認檔案名稱，或把檔案放在程式資料夾。")
              .arg(where, QDir::toNativeSeparators(file.absoluteFilePath())));
  } else {
    text += QStringLiteral(";Connect Timeout=%1").arg(kTestTimeoutSeconds);
  }
  // The connection and its outcome belong to the work: an abandoned wait leaves them
  // to it.
  struct Attempt {
    db::Connection connection;
  };
  auto attempt = std::make_shared<Attempt>();
  attempt->connection.setConnectionString(text);
  platform::BusyCursor busy;
  AbandonableWait wait;
  if (wait.run([attempt] { attempt->connection.open(); }, [] {}) ==
      AbandonableWait::Outcome::Abandoned)
    return;
  platform::UiServices::instance().messageBox(
      QStringLiteral("連線成功：%1可以使用。").arg(where) +
          (connected_ ? QStringLiteral("\n設定存檔後，在下次「啟動資料庫」時生效。") : QString()),
      applicationTitle(), platform::UiServices::Icon::Information);
}

void TfrmSetting::reject() {
  if (enteredValues() != shown_) {
    const int answer = platform::UiServices::instance().choose(
        QStringLiteral("參數已經修改，還沒有存檔。要先存檔再離開嗎？"), applicationTitle(),
        {QStringLiteral("存檔"), QStringLiteral("不存檔"), QStringLiteral("繼續修改")}, 2);
    if (answer == 0) {
      guard([this] { BitBtnPostClick(); });
      return;
    }
    if (answer != 1) return;
  }
  QDialog::reject();
}

void TfrmSetting::edtHostKeyDown(QKeyEvent* event) {
  // Enter moves on as Tab would; the key itself still goes to the edit.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) focusNextChild();
}

void TfrmSetting::cbStkQtyClick() {
  rgStkQry_->setEnabled(cbStkQty_->isChecked());
}

void TfrmSetting::BitBtnPostClick() {
  const SettingValues values = enteredValues();
  const SettingValues::Missing missing = values.write(config::Config());
  if (missing != SettingValues::Missing::None) {
    platform::UiServices::instance().messageBox(SettingValues::missingMessage(missing),
                                                QStringLiteral("存檔錯誤"),
                                                platform::UiServices::Icon::Error);
    QLineEdit* edit = missing == SettingValues::Missing::Host       ? edtHost_
                      : missing == SettingValues::Missing::Database ? edtDatabase_
                      : missing == SettingValues::Missing::User     ? edtUser_
                                                                    : edtPassword_;
    edit->setFocus(Qt::OtherFocusReason);
    return;
  }
  shown_ = values;
  platform::UiServices::instance().showInformation(QStringLiteral("存檔完成。"));
  done(QDialog::Accepted);
}

void TfrmSetting::setStockAction(int index) {
  // An exclusive group cannot be cleared; "no item" needs the exclusivity lifted.
  rgStkQryItems_->setExclusive(false);
  for (QAbstractButton* b : rgStkQryItems_->buttons())
    b->setChecked(rgStkQryItems_->id(b) == index);
  rgStkQryItems_->setExclusive(true);
}

int TfrmSetting::stockAction() const {
  return rgStkQryItems_->checkedId();
}

void TfrmSetting::showValues(const SettingValues& v) {
  edtHost_->setText(v.host);
  edtDatabase_->setText(v.database);
  edtUser_->setText(v.user);
  edtPassword_->setText(v.password);
  cbShelfNo_->setChecked(v.shelfNo);
  cbStkQty_->setChecked(v.stkQty);
  rgStkQry_->setEnabled(v.stkQty);
  setStockAction(v.stkQty ? v.stkQtyAction : -1);
  cbAvgCost_->setChecked(v.avgCost);
  cbUniPrice_->setChecked(v.uniPrice);
  cbPrice_->setChecked(v.price);
  cbMemPrice_->setChecked(v.memPrice);
  cbVipPrice_->setChecked(v.vipPrice);
  cbClassify_->setChecked(v.classify);
  cbItem_->setChecked(v.item);
  cbSupplier_->setChecked(v.supplier);
  cbCustomer_->setChecked(v.customer);
  cbEditsOnly_->setChecked(v.editsOnly);
  cbPreview_->setChecked(v.preview);
  rgFileTypeItems_->button(int(v.fileType))->setChecked(true);
}

SettingValues TfrmSetting::enteredValues() const {
  SettingValues v;
  v.host = edtHost_->text();
  v.database = edtDatabase_->text();
  v.user = edtUser_->text();
  v.password = edtPassword_->text();
  v.shelfNo = cbShelfNo_->isChecked();
  v.stkQty = cbStkQty_->isChecked();
  v.stkQtyAction = stockAction();
  v.avgCost = cbAvgCost_->isChecked();
  v.uniPrice = cbUniPrice_->isChecked();
  v.price = cbPrice_->isChecked();
  v.memPrice = cbMemPrice_->isChecked();
  v.vipPrice = cbVipPrice_->isChecked();
  v.classify = cbClassify_->isChecked();
  v.item = cbItem_->isChecked();
  v.supplier = cbSupplier_->isChecked();
  v.customer = cbCustomer_->isChecked();
  v.editsOnly = cbEditsOnly_->isChecked();
  v.preview = cbPreview_->isChecked();
  v.fileType = rgFileTypeItems_->checkedId() == int(SettingValues::FileType::Xlsx)
                   ? SettingValues::FileType::Xlsx
                   : SettingValues::FileType::Mdb;
  return v;
}

}  // namespace app
