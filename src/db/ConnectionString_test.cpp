#include "db/ConnectionString.h"
#include "db/Connection.h"

#include <platform/Error.h>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QElapsedTimer>

using db::ConnectionString;

namespace {

TEST(ConnectionString, ReadsPlainAndQuotedValues) {
  const auto cs = ConnectionString::parse(
      "Provider=SQLOLEDB.1;Password=\"a;b=c\";Persist Security Info=True;User ID='it''s';"
      "Initial Catalog= KAROS ;Data Source=10.0.0.5,1433");
  EXPECT_EQ(cs.value("provider"), "SQLOLEDB.1");
  EXPECT_EQ(cs.value("Password"), "a;b=c");
  EXPECT_EQ(cs.value("User ID"), "it's");
  EXPECT_EQ(cs.value("Initial Catalog"), "KAROS");
  EXPECT_EQ(cs.value("Data Source"), "10.0.0.5,1433");
  EXPECT_THROW(ConnectionString::parse("Password=\"open"), platform::Error);
}

TEST(ConnectionString, QuotedValuesCannotChangeTheMeaning) {
  for (const QString& value : {QString("kora"), QString("p;User ID=admin"), QString(" padded "),
                               QString("say \"hi\""), QString("both ' and \" ;"), QString("=")}) {
    const QString text = "Provider=SQLOLEDB.1;Password=" + ConnectionString::quoteOleDb(value) +
                         ";User ID=sa;Data Source=h";
    const auto cs = ConnectionString::parse(text);
    EXPECT_EQ(cs.value("Password"), value) << text.toStdString();
    EXPECT_EQ(cs.value("User ID"), "sa");
  }
  EXPECT_EQ(ConnectionString::quoteOleDb("kora"), "kora");
}

TEST(ConnectionString, TranslatesForFreeTds) {
  const auto plain = ConnectionString::parse(
      "Provider=SQLOLEDB.1;Password=kora;Persist Security Info=True;User ID=sa;Initial "
      "Catalog=KAROS;"
      "Data Source=127.0.0.1");
  EXPECT_EQ(ConnectionString::toFreeTds(plain),
            "DRIVER={FreeTDS};SERVER=127.0.0.1;DATABASE=KAROS;UID=sa;PWD=kora;ClientCharset=UTF-8");
  const auto port =
      ConnectionString::parse("Provider=SQLOLEDB.1;Data Source=pos.local,1444;User ID=u");
  EXPECT_EQ(ConnectionString::toFreeTds(port),
            "DRIVER={FreeTDS};SERVER=pos.local;PORT=1444;DATABASE=;UID=u;PWD=;ClientCharset=UTF-8");
  const auto instance = ConnectionString::parse(
      "Provider=SQLOLEDB.1;Password=\"x;UID=admin\";Data Source=SHOP\\SQLEXPRESS;Initial "
      "Catalog={db}");
  EXPECT_EQ(ConnectionString::toFreeTds(instance),
            "DRIVER={FreeTDS};SERVER=SHOP\\SQLEXPRESS;DATABASE={{db}}};UID=;PWD={x;UID=admin};"
            "ClientCharset=UTF-8");
}

TEST(Connection, UnreachableSqlServerGivesFreeTdsText) {
  // A port that nothing listens on: take a free one and release it.
  int port = 0;
  {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    ::close(fd);
  }
  db::Connection c;
  c.setConnectionString(QString("Provider=SQLOLEDB.1;Password=kora;Persist Security Info=True;"
                                "User ID=sa;Initial Catalog=KAROS;Data Source=127.0.0.1,%1;"
                                "Connect Timeout=3")
                            .arg(port));
  QElapsedTimer timer;
  timer.start();
  try {
    c.open();
    FAIL() << "connected to a closed port";
  } catch (const platform::Error& e) {
    EXPECT_TRUE(e.message().contains("[FreeTDS]")) << e.message().toStdString();
    EXPECT_TRUE(e.message().contains("Unable to connect")) << e.message().toStdString();
  }
  EXPECT_LT(timer.elapsed(), 30000);
  EXPECT_FALSE(c.isConnected());
}

TEST(Connection, UnknownProviderAndMissingSqliteFile) {
  db::Connection c;
  c.setConnectionString("Provider=Nope.1;Data Source=x");
  EXPECT_THROW(c.open(), platform::Error);
  c.setConnectionString("Provider=SQLite;Data Source=/nonexistent/pos.sqlite");
  try {
    c.open();
    FAIL();
  } catch (const platform::Error& e) {
    EXPECT_EQ(
        e.message(),
        "找不到資料庫檔案 /nonexistent/pos.sqlite：請在「參數設定」中檢查「資料庫」的檔案名稱。");
  }
}

}  // namespace

// A server that accepts the connection and never answers (a hung machine, a firewall
// that swallows the traffic): the login timeout ends the attempt.
TEST(Connection, ASilentSqlServerFailsWithinTheLoginTimeout) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(fd, 4), 0);  // the kernel completes the handshake; nobody reads
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  db::Connection c;
  c.setConnectionString(QString("Provider=SQLOLEDB.1;Password=kora;User ID=sa;"
                                "Initial Catalog=KAROS;Data Source=127.0.0.1,%1;Connect Timeout=2")
                            .arg(ntohs(addr.sin_port)));
  try {
    c.open();
    FAIL() << "logged in to a server that never answered";
  } catch (const platform::Error& e) {
    EXPECT_EQ(e.message(), db::Connection::noAnswerMessage(6));
  }
  EXPECT_FALSE(c.isConnected());
  ::close(fd);
}
