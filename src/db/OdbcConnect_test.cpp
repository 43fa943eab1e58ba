// Connecting to SQL Server through FreeTDS, against the test TDS server: what an
// operator is told when the settings are wrong.
#include "db/Connection.h"

#include <platform/Error.h>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QRegularExpression>
#include <cstdlib>

namespace db {
namespace {

QString errorOf(Connection& c) {
  try {
    c.open();
  } catch (const platform::Error& e) {
    return e.message();
  }
  return QStringLiteral("no error");
}

class OdbcConnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* dsn = std::getenv("DATACONV_TEST_TDS_DSN");
    if (!dsn || !*dsn) GTEST_SKIP() << "DATACONV_TEST_TDS_DSN is not set";
    const QString text = QString::fromUtf8(dsn);
    port_ = QRegularExpression(QStringLiteral("Port=(\\d+)")).match(text).captured(1);
    password_ = QRegularExpression(QStringLiteral("PWD=([^;]*)")).match(text).captured(1);
  }

  // The connection text the program makes from Config.ini.
  QString oleDb(const QString& host, const QString& database, const QString& password) const {
    return QStringLiteral(
               "Provider=SQLOLEDB.1;Password=%1;Persist Security Info=True;User ID=sa;"
               "Initial Catalog=%2;Data Source=%3")
        .arg(password, database, host);
  }

  QString port_;
  QString password_;
};

TEST_F(OdbcConnectTest, AFailedLoginNamesTheServerAndDatabaseAndWhatToCheck) {
  const QString host = "127.0.0.1," + port_;
  Connection c;
  c.setConnectionString(oleDb(host, "KAROS", "wrong-password"));
  const QString login = errorOf(c);
  EXPECT_TRUE(login.startsWith(
      QStringLiteral(
          "無法連線到伺服器「%1」上的資料庫「KAROS」：請在「參數設定」中檢查登入帳號與密碼。\n")
          .arg(host)))
      << login.toStdString();
  // The driver's text follows once, not once per diagnostic record that repeats it.
  EXPECT_EQ(login.count(QStringLiteral("Login failed")), 1) << login.toStdString();

  c.setConnectionString(oleDb(host, "NO_SUCH_DB", password_));
  const QString database = errorOf(c);
  EXPECT_TRUE(database.startsWith(
      QStringLiteral(
          "無法連線到伺服器「%1」上的資料庫「NO_SUCH_DB」：請在「參數設定」中檢查資料庫名稱。\n")
          .arg(host)))
      << database.toStdString();
  EXPECT_FALSE(c.isConnected());
}

TEST_F(OdbcConnectTest, NothingListeningAtTheAddressAsksToCheckAddressAndPort) {
  // A port that was free a moment ago.
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0);
  close(probe);
  const QString host = "127.0.0.1," + QString::number(ntohs(address.sin_port));
  Connection c;
  c.setConnectionString(oleDb(host, "KAROS", password_) + ";Connect Timeout=3");
  const QString text = errorOf(c);
  EXPECT_TRUE(text.startsWith(
      QStringLiteral(
          "無法連線到伺服器「%1」上的資料庫「KAROS」：請在「參數設定」中檢查伺服器位址與連接埠")
          .arg(host)))
      << text.toStdString();
}

}  // namespace
}  // namespace db
