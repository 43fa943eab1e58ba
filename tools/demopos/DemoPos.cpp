#include "DemoPos.h"

#include "PosSqliteDdl.h"

#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <random>
#include <stdexcept>
#include <vector>

namespace demopos {

namespace {

// splitmix64: the same sequence everywhere for a seed (std distributions are not).
class Random {
 public:
  explicit Random(quint64 seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 1) {}
  quint64 next() {
    quint64 z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  qint64 range(qint64 low, qint64 high) { return low + qint64(next() % quint64(high - low + 1)); }
  bool chance(int percent) { return range(1, 100) <= percent; }
  template <typename T>
  const T& pick(const std::vector<T>& items) {
    return items[size_t(range(0, qint64(items.size()) - 1))];
  }
  QString digits(int count) {
    QString s;
    for (int i = 0; i < count; ++i) s += QChar(u'0' + int(range(0, 9)));
    return s;
  }
  double money(double low, double high) {
    return double(range(qint64(low * 100), qint64(high * 100))) / 100;
  }

 private:
  quint64 state_;
};

using Strings = std::vector<QString>;

Strings split(const char* text) {
  Strings out;
  for (const QString& s : QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts)) out.push_back(s);
  return out;
}

const Strings kSurnames = split(
    "陳 林 黃 張 李 王 吳 劉 蔡 楊 許 鄭 謝 郭 洪 曾 邱 廖 賴 周 徐 蘇 葉 莊 呂 江 何 蕭 羅 高 "
    "潘 簡 朱 鍾 彭 游 詹 胡 施 沈 余 趙 盧 梁 顏 柯 孫 魏 翁 戴 范 宋 方 鄧 杜 傅 侯 曹 薛 丁");
const Strings kGiven = split(
    "志 明 俊 傑 建 宏 家 豪 冠 宇 承 翰 怡 君 淑 芬 美 玲 雅 婷 惠 如 欣 怡 佳 穎 宗 翰 彥 廷 "
    "柏 宏 詩 涵 靜 宜 文 雄 秀 英 麗 華 嘉 慧 金 龍 春 嬌 國 榮 世 昌 佩 珊 郁 雯");
const Strings kCities = split(
    "臺北市 新北市 桃園市 臺中市 臺南市 高雄市 基隆市 新竹市 嘉義市 新竹縣 苗栗縣 彰化縣 南投縣 "
    "雲林縣 嘉義縣 屏東縣 宜蘭縣 花蓮縣 臺東縣");
const Strings kDistricts = split(
    "中正區 大安區 信義區 中山區 北區 南區 東區 西屯區 板橋區 三重區 新莊區 鳳山區 永和區 中壢區 "
    "竹北市 員林市");
const Strings kRoads = split(
    "中山路 中正路 民生路 民族路 復興路 和平路 建國路 光復路 成功路 忠孝東路 仁愛路 信義路 自由路 "
    "文化路 公園路");
const Strings kSections = split("一段 二段 三段 四段");
const Strings kClassNames = split(
    "感冒用藥 止痛退燒 腸胃用藥 皮膚外用 眼耳鼻喉 維他命 礦物質 保健食品 嬰幼兒用品 奶粉 醫療器材 "
    "衛生耗材 中藥飲片 漢方製劑 美妝保養 沐浴洗髮 口腔保健 婦女用品 成人紙尿褲 隱形眼鏡 血壓血糖 "
    "運動護具 "
    "防蚊防曬 寵物保健 家庭常備");
const Strings kFirmPrefixes = split(
    "永信 生達 信東 杏輝 五洲 中化 健喬 南光 晟德 景德 人生 井田 培力 佑達 瑞安 元宙 台裕 東洋 "
    "應元 "
    "順天 港香蘭 莊松榮 勝昌 天良 明通 華興 安星 優生 德山 正和");
const Strings kFirmSuffixes =
    split("藥品股份有限公司 製藥廠 生技股份有限公司 貿易有限公司 醫療器材行 化學製藥 藥業");
const Strings kProducts = split(
    "乙醯胺酚 布洛芬 綜合感冒 止咳糖漿 胃乳 制酸劑 整腸 益生菌 維他命C 維他命B群 綜合維他命 鈣片 "
    "魚油 葉黃素 葡萄糖胺 膠原蛋白 薑黃 蔓越莓 鐵劑 鋅 痠痛貼布 凡士林 乳液 防曬乳 人工淚液 眼藥水 "
    "潤喉糖 酒精棉片 生理食鹽水 紗布 繃帶 口罩 體溫計 血壓計 驗孕棒 奶瓶 尿布 濕紙巾 牙膏 漱口水");
const Strings kForms = split("錠 膠囊 軟膠囊 糖漿 液 顆粒 粉 軟膏 凝膠 噴劑 貼布 盒裝 組");
const Strings kSpecs =
    split("10錠 30錠 60錠 100錠 500錠 60粒 90粒 120ml 240ml 500ml 15g 30g 5片 10片 50入 1盒");
const Strings kSmallUnits = split("瓶 盒 包 支 條 片 罐 組");
const Strings kBanks = split(
    "臺灣銀行 土地銀行 合作金庫 第一銀行 華南銀行 彰化銀行 國泰世華 中國信託 玉山銀行 台新銀行 "
    "郵局");
const Strings kBranches =
    split("總行 中山分行 城東分行 南門分行 民生分行 站前分行 營業部 建國分行");
const Strings kPayMethods = split("現金 支票 匯款 月結30天 月結60天 貨到付款");
const Strings kLevels = split("一般會員 銀卡會員 金卡會員 VIP會員 員工");
const Strings kSenses =
    split("對盤尼西林過敏 慢性病連續處方 孕婦 哺乳中 素食 需低鈉 對阿斯匹靈過敏");

QString personName(Random& r) {
  QString n = r.pick(kSurnames) + r.pick(kGiven);
  if (r.chance(85)) n += r.pick(kGiven);
  return n;
}

QString address(Random& r, bool full) {
  QString a = r.pick(kCities) + r.pick(kDistricts) + r.pick(kRoads);
  if (r.chance(40)) a += r.pick(kSections);
  a += QString::number(r.range(1, 300)) + u'號';
  if (full && r.chance(40)) a += QString::number(r.range(2, 15)) + u'樓';
  return a;
}

QString phone(Random& r) {
  static const Strings areas = split("02 03 04 05 06 07 08 037 049 089");
  const QString area = r.pick(areas);
  return area.size() == 2 ? area + u'-' + r.digits(4) + u'-' + r.digits(4)
                          : area + u'-' + r.digits(3) + u'-' + r.digits(3);
}

QString mobile(Random& r) {
  return QStringLiteral("09") + r.digits(2) + u'-' + r.digits(3) + u'-' + r.digits(3);
}

// National identity number: letter, sex digit, seven digits, check digit.
QString identityNumber(Random& r, bool male) {
  static const char* letters = "ABCDEFGHJKLMNPQRSTUVXYWZIO";
  const int letterIndex = int(r.range(0, 25));
  const int code = 10 + letterIndex;
  QString digits = QString::number(male ? 1 : 2) + r.digits(7);
  int sum = code / 10 + (code % 10) * 9;
  for (int i = 0; i < 8; ++i) sum += (digits.at(i).unicode() - u'0') * (8 - i);
  digits += QChar(u'0' + (10 - sum % 10) % 10);
  return QChar(letters[letterIndex]) + digits;
}

QString ean13(Random& r) {
  QString d = QStringLiteral("471") + r.digits(9);
  int sum = 0;
  for (int i = 0; i < 12; ++i) sum += (d.at(i).unicode() - u'0') * (i % 2 ? 3 : 1);
  return d + QChar(u'0' + (10 - sum % 10) % 10);
}

QDateTime dateBetween(Random& r, QDate from, QDate to, bool withTime) {
  const QDate d = from.addDays(r.range(0, std::max<qint64>(0, from.daysTo(to))));
  const QTime t =
      withTime ? QTime(int(r.range(8, 21)), int(r.range(0, 59)), int(r.range(0, 59))) : QTime(0, 0);
  return QDateTime(d, t, Qt::UTC);
}

QVariant dateText(const QDateTime& dt) {
  return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QVariant maybe(Random& r, int percentPresent, const QVariant& value) {
  return r.chance(percentPresent) ? value : QVariant(QMetaType::fromType<QString>());
}

QVariant nullOf() {
  return QVariant(QMetaType::fromType<QString>());
}

class Writer {
 public:
  Writer(QSqlDatabase db, const QString& table, const QStringList& columns) : q_(db) {
    QStringList marks;
    for (int i = 0; i < columns.size(); ++i) marks << QStringLiteral("?");
    if (!q_.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(table, columns.join(u','), marks.join(u','))))
      throw std::runtime_error(q_.lastError().text().toStdString());
  }
  void row(const QVariantList& values) {
    for (int i = 0; i < values.size(); ++i) q_.bindValue(i, values.at(i));
    if (!q_.exec()) throw std::runtime_error(q_.lastError().text().toStdString());
  }

 private:
  QSqlQuery q_;
};

void fill(QSqlDatabase db, const Options& o, const Counts& n) {
  Random r(o.seed);
  const QDate today = o.today;
  const QDate opened(1995, 1, 1);

  Writer classify(db, "Classify", {"ClsNo", "ClsName", "Flag", "Void"});
  for (qint64 i = 1; i <= n.classify; ++i) {
    QString name = kClassNames[size_t((i - 1) % qint64(kClassNames.size()))];
    if (i > qint64(kClassNames.size()))
      name += QString::number((i - 1) / qint64(kClassNames.size()) + 1);
    classify.row(
        {QString::number(i).rightJustified(3, u'0'), name, r.chance(80), maybe(r, 70, "N")});
  }

  std::vector<QString> factNos;
  Writer supplier(
      db, "Supplier",
      {"FactNo",   "FactName", "Addr",       "Responser", "TelNo1",  "TelNo2",  "TelNo3",
       "OrderTel", "FaxNo",    "TradeDate",  "BusNo",     "InvCd",   "InTerm",  "Purchase",
       "PayCyc",   "PayMth",   "DisRate",    "TaxCd",     "TradeCd", "Contact", "Account",
       "Bank",     "Branch",   "LastUpdate", "Void",      "Notes"});
  for (qint64 i = 1; i <= n.supplier; ++i) {
    const QString no = QString::number(i).rightJustified(4, u'0');
    factNos.push_back(no);
    const QDateTime traded = dateBetween(r, opened, today, false);
    supplier.row(
        {no,
         r.pick(kFirmPrefixes) + r.pick(kFirmSuffixes),
         address(r, false),
         personName(r),
         phone(r),
         maybe(r, 40, phone(r)),
         maybe(r, 10, phone(r)),
         maybe(r, 60, phone(r)),
         maybe(r, 70, phone(r).left(12)),
         dateText(traded),
         r.digits(8),
         r.chance(80) ? QStringLiteral("三聯式") : QStringLiteral("二聯式"),
         maybe(r, 80, r.chance(50) ? QStringLiteral("每週") : QStringLiteral("每月")),
         maybe(r, 80, r.chance(50) ? QStringLiteral("電話訂貨") : QStringLiteral("業務拜訪")),
         maybe(r, 70, QStringLiteral("月結%1天").arg(r.range(1, 3) * 30)),
         r.pick(kPayMethods),
         maybe(r, 85, r.money(0.80, 1.0)),
         r.chance(90) ? QStringLiteral("應稅") : QStringLiteral("免稅"),
         maybe(r, 60, QStringLiteral("經銷")),
         maybe(r, 80, personName(r)),
         maybe(r, 60, r.digits(14)),
         maybe(r, 60, r.pick(kBanks)),
         maybe(r, 50, r.pick(kBranches)),
         dateText(dateBetween(r, traded.date(), today, true)),
         maybe(r, 30, "N"),
         maybe(r, 10, QStringLiteral("週三公休"))});
  }

  Writer item(
      db, "Item",
      {"ItemNo",    "ItemMark", "SelfCode",   "PtName",    "PtSpec",     "PayType",    "SupplierNo",
       "ValidDays", "ImTax",    "ImUpDate",   "UniPrice",  "GUnit",      "MUnit",      "SUnit",
       "GtoM",      "MtoS",     "Gift",       "Percent",   "RegSafeQty", "EmgSafeQty", "Flags",
       "StkQty",    "ChkQty",   "ShelfNo",    "TempShelf", "AvgCost",    "Code",       "Special",
       "OldCode",   "HeaPrice", "HealthCode", "Price",     "MemPrice",   "VipPrice",   "MTDate",
       "ItemCnt",   "Qty1",     "No1",        "Qty2",      "No2",        "Qty3",       "No3",
       "Void",      "Notes"});
  // Seven-digit serials in a scattered but collision-free order.
  const qint64 start = r.range(1000000, 8999999);
  const qint64 stride = 7919;  // prime, coprime with 10^7
  std::vector<QString> itemNos;
  itemNos.reserve(size_t(std::min<qint64>(n.item, 1000)));
  for (qint64 i = 0; i < n.item; ++i) {
    const QString seven = QString::number((start + i * stride) % 10000000).rightJustified(7, u'0');
    const QString no = seven + QChar(itemCheckDigit(seven));
    if (itemNos.size() < 1000) itemNos.push_back(no);
    const double cost = r.money(5, 2500);
    const double price = double(qint64(cost * (1.2 + double(r.range(0, 40)) / 100)) + 1);
    const QDateTime created = dateBetween(r, opened, today, false);
    const bool combo = i > 10 && r.chance(3);
    QString name = r.pick(kProducts) + r.pick(kForms);
    if (r.chance(30)) name = r.pick(kFirmPrefixes) + name;
    item.row({no,
              maybe(r, 85, ean13(r)),
              maybe(r, 10, r.digits(6)),
              name,
              maybe(r, 90, r.pick(kSpecs)),
              r.chance(30) ? "Y" : "N",
              r.chance(92) ? QVariant(r.pick(factNos)) : nullOf(),  // some items have no supplier
              maybe(r, 40, QString::number(r.range(1, 3))),
              r.chance(90) ? QStringLiteral("應稅") : QStringLiteral("免稅"),
              dateText(created),
              cost,
              QStringLiteral("箱"),
              QStringLiteral("盒"),
              r.pick(kSmallUnits),
              r.range(6, 24),
              r.range(1, 12),
              maybe(r, 10, double(r.range(5, 12))),
              maybe(r, 20, double(r.range(1, 10)) / 100),
              r.range(0, 50),
              r.range(0, 20),
              maybe(r, 5, QStringLiteral("管制")),
              r.range(-5, 500),
              maybe(r, 20, r.range(0, 500)),
              QStringLiteral("%1%2")
                  .arg(QChar(u'A' + int(r.range(0, 7))))
                  .arg(r.range(1, 30), 2, 10, QChar(u'0')),
              nullOf(),
              cost * (1 + double(r.range(-5, 5)) / 100),
              maybe(r, 30, r.digits(6)),
              r.range(0, 9),
              nullOf(),
              maybe(r, 30, double(r.range(1, 900))),
              maybe(r, 30, QStringLiteral("A") + r.digits(9)),
              price,
              double(qint64(price * 0.95)),
              double(qint64(price * 0.9)),
              dateText(dateBetween(r, created.date(), today, true)),
              combo ? QVariant(r.range(2, 3)) : nullOf(),
              combo ? QVariant(r.range(1, 6)) : nullOf(),
              combo ? QVariant(r.pick(itemNos)) : nullOf(),
              combo ? QVariant(r.range(1, 6)) : nullOf(),
              combo ? QVariant(r.pick(itemNos)) : nullOf(),
              nullOf(),
              nullOf(),
              maybe(r, 20, "N"),
              maybe(r, 5, QStringLiteral("冷藏保存"))});
  }

  Writer customer(
      db, "Customer",
      {"CustNo",  "Name",     "IdNo",      "Sex",       "TelNo", "TelNo2",  "Address", "Birthday",
       "Height",  "Weight",   "PressureL", "PressureH", "Sense", "ChkDate", "SickCd1", "SickCd2",
       "SickCd3", "DisCount", "VipCount",  "DateB",     "DateE", "DebtTtl", "Notes",   "EMail"});
  for (qint64 i = 1; i <= n.customer; ++i) {
    const bool male = r.chance(48);
    const QDateTime joined = dateBetween(r, opened, today, false);
    const QDateTime validFrom = dateBetween(r, joined.date(), today, false);
    customer.row(
        {QStringLiteral("M") + QString::number(i).rightJustified(7, u'0'),
         personName(r),
         maybe(r, 90, identityNumber(r, male)),
         male ? QStringLiteral("男") : QStringLiteral("女"),
         r.chance(70) ? mobile(r) : phone(r),
         maybe(r, 20, phone(r)),
         maybe(r, 85, address(r, true)),
         maybe(r, 85, dateText(dateBetween(r, QDate(1930, 1, 1), today.addYears(-10), false))),
         maybe(r, 40, double(r.range(1450, 1900)) / 10),
         maybe(r, 40, double(r.range(400, 1000)) / 10),
         maybe(r, 25, double(r.range(60, 95))),
         maybe(r, 25, double(r.range(100, 160))),
         maybe(r, 10, r.pick(kSenses)),
         dateText(joined),
         maybe(r, 8, r.digits(2)),
         maybe(r, 3, r.digits(2)),
         nullOf(),
         r.pick(kLevels),
         r.range(0, 200000),
         dateText(validFrom),
         dateText(QDateTime(validFrom.date().addYears(1), QTime(0, 0), Qt::UTC)),
         r.chance(5) ? r.money(10, 3000) : 0.0,
         maybe(r, 5, QStringLiteral("常購慢性病藥")),
         maybe(r, 30, QStringLiteral("member%1@example.com.tw").arg(i))});
  }
}

}  // namespace

char itemCheckDigit(const QString& seven) {
  auto d = [&](int i) { return seven.at(i).unicode() - u'0'; };
  const int s = 3 * (d(0) + d(2) + d(4) + d(6)) + (d(1) + d(3) + d(5));
  return char('0' + (10 - s % 10) % 10);
}

Counts countsFor(qint64 items) {
  Counts c;
  c.item = items;
  c.classify = std::clamp<qint64>(items / 200, 5, 999);
  c.supplier = std::clamp<qint64>(items / 40, 5, 9999);
  c.customer = std::clamp<qint64>(items / 2, 10, 9999999);
  return c;
}

Counts generate(const Options& o) {
  if (o.items < 0 || o.items > 10000000)
    throw std::runtime_error("the number of items must lie between 0 and 10000000");
  if (QFile::exists(o.path)) throw std::runtime_error(o.path.toStdString() + " already exists");
  const Counts n = countsFor(o.items);
  static std::atomic<int> counter{0};
  const QString name = QStringLiteral("demopos-%1").arg(++counter);
  std::string failure;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(o.path);
    if (!db.open()) {
      failure = db.lastError().text().toStdString();
    } else {
      try {
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA journal_mode=OFF"));
        q.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        for (const QString& statement : QString::fromUtf8(kPosSqliteDdl).split(u';')) {
          QString code;
          for (const QString& line : statement.split(u'\n'))
            if (!line.trimmed().startsWith(QStringLiteral("--"))) code += line + u'\n';
          if (!code.trimmed().isEmpty() && !q.exec(code))
            throw std::runtime_error(q.lastError().text().toStdString());
        }
        db.transaction();
        fill(db, o, n);
        if (!db.commit()) throw std::runtime_error(db.lastError().text().toStdString());
      } catch (const std::exception& e) {
        failure = e.what();
      }
      db.close();
    }
  }
  QSqlDatabase::removeDatabase(name);
  if (!failure.empty()) {
    QFile::remove(o.path);
    throw std::runtime_error(failure);
  }
  return n;
}

}  // namespace demopos
