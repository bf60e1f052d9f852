// Statements built from a table's textual description.
#include <gtest/gtest.h>

#include "printlists/table_definition.h"

namespace kelvaro {
namespace {

const QStringList kPrintParams = {
    QStringLiteral("pname VARCHAR(60) NOT NULL *"), QStringLiteral("d_text VARCHAR(90)"),
    QStringLiteral("f_text VARCHAR(90)"),           QStringLiteral("i_text VARCHAR(90)"),
    QStringLiteral("compat VARCHAR(30)"),           QStringLiteral("print_params BLOB SUB_TYPE 1 SEGMENT SIZE 80"),
};

TEST(TableDefinitionTest, ParseFieldDefTable) {
  struct Case {
    const char* line;
    const char* name;
    const char* definition;
    bool pk;
    bool excluded;
  } cases[] = {
      {"pname VARCHAR(60) NOT NULL *", "pname", "VARCHAR(60) NOT NULL", true, false},
      {"  id INTEGER # ", "id", "INTEGER", false, true},
      {"*#k INTEGER", "k", "INTEGER", true, true},
      {"a VARCHAR(5) ** ", "a", "VARCHAR(5) *", true, false},  // only the first marker is removed
      {"lonely", "lonely", "", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const FieldDef field = ParseFieldDef(QString::fromUtf8(c.line));
    EXPECT_EQ(field.name, QString::fromUtf8(c.name));
    EXPECT_EQ(field.definition, QString::fromUtf8(c.definition));
    EXPECT_EQ(field.primaryKey, c.pk);
    EXPECT_EQ(field.excludedFromInsert, c.excluded);
  }
}

TEST(TableDefinitionTest, InsertForPrintParamsBindsSixParametersInColumnOrder) {
  const QStringList expected = {
      QStringLiteral("INSERT INTO PRT_Params("), QStringLiteral("pname,"),  QStringLiteral("d_text,"),
      QStringLiteral("f_text,"),                QStringLiteral("i_text,"), QStringLiteral("compat,"),
      QStringLiteral("print_params)"),
      QStringLiteral("VALUES (:pname, :d_text, :f_text, :i_text, :compat, :print_params)"),
  };
  EXPECT_EQ(BuildSQL4Insert(QStringLiteral("PRT_Params"), kPrintParams), expected);
}

TEST(TableDefinitionTest, InsertLeavesOutMarkedColumns) {
  const QStringList statement =
      BuildSQL4Insert(QStringLiteral("T"), {QStringLiteral("id INTEGER #*"), QStringLiteral("a INTEGER")});
  EXPECT_EQ(statement, (QStringList{QStringLiteral("INSERT INTO T("), QStringLiteral("a)"), QStringLiteral("VALUES (:a)")}));
}

TEST(TableDefinitionTest, FindPKQueryNamesEveryKeyColumn) {
  int count = 0;
  EXPECT_EQ(BuildFindPKQuery(QStringLiteral("PRT_Params"), kPrintParams, &count).join(QLatin1Char(' ')),
            QStringLiteral("SELECT 'T' FROM RDB$DATABASE WHERE EXISTS ( SELECT 'T' FROM PRT_Params WHERE pname = :p0 )"));
  EXPECT_EQ(count, 1);
  const QStringList twoKeys = BuildFindPKQuery(QStringLiteral("T"), {QStringLiteral("a INT *"), QStringLiteral("b INT *")}, &count);
  EXPECT_EQ(twoKeys[4], QStringLiteral("AND b = :p1"));
  EXPECT_EQ(count, 2);
}

}  // namespace
}  // namespace kelvaro
