/* The objects the updater relies on in a company database, for tests and
   the demo. Run with isql-fb -i after CREATE DATABASE (see
   create-database.sh); the database's default character set is ISO8859_1.

   GetFreeDiskSpace is a PSQL function here (the server allows no UDF): it
   answers the free space Test_Drive_Space holds for the drive letter it is
   asked about, and for any other letter what the one-row table Test_Settings
   holds. A test sets the free space it wants with UPDATE Test_Settings SET
   free_space = N, and gives drives their own with INSERT INTO
   Test_Drive_Space, so it sees which letter was asked. */

SET TERM ^ ;

CREATE TABLE ConnectionControl (
  id SMALLINT NOT NULL PRIMARY KEY,
  sval VARCHAR(255)
)^

INSERT INTO ConnectionControl (id, sval) VALUES (0, 'Kelvaro')^
INSERT INTO ConnectionControl (id, sval) VALUES (1, '1')^
INSERT INTO ConnectionControl (id, sval) VALUES (2, 'WK_Torvida')^
INSERT INTO ConnectionControl (id, sval) VALUES (3, '2')^

CREATE TABLE Users (
  username VARCHAR(60),
  lastcheck TIMESTAMP
)^

CREATE PROCEDURE GET_SERVER_TIME
RETURNS (STIME TIMESTAMP)
AS
BEGIN
  STIME = CURRENT_TIMESTAMP;
  SUSPEND;
END^

CREATE TABLE Test_Settings (
  free_space NUMERIC(18,0)
)^

INSERT INTO Test_Settings (free_space) VALUES (10000000000)^

CREATE TABLE Test_Drive_Space (
  letter VARCHAR(1) NOT NULL PRIMARY KEY,
  free_space NUMERIC(18,0)
)^

CREATE FUNCTION GetFreeDiskSpace (drive VARCHAR(1))
RETURNS NUMERIC(18,0)
AS
DECLARE VARIABLE answer NUMERIC(18,0);
BEGIN
  SELECT free_space FROM Test_Drive_Space WHERE letter = :drive INTO :answer;
  IF (answer IS NULL) THEN
    SELECT FIRST 1 free_space FROM Test_Settings INTO :answer;
  RETURN answer;
END^

CREATE TABLE PRT_Params (
  pname VARCHAR(60) NOT NULL PRIMARY KEY,
  d_text VARCHAR(90),
  f_text VARCHAR(90),
  i_text VARCHAR(90),
  compat VARCHAR(30),
  print_params BLOB SUB_TYPE 1 SEGMENT SIZE 80
)^

CREATE TABLE PRT_Images (
  image_name VARCHAR(30) NOT NULL PRIMARY KEY,
  image_data BLOB SUB_TYPE 0 SEGMENT SIZE 1024
)^

SET TERM ; ^

/* The program's account may do everything it needs, whoever owns the
   database; the presence table is open to every user. */
GRANT ALL ON ConnectionControl TO USER KELVARO;
GRANT ALL ON Users TO PUBLIC;
GRANT ALL ON Test_Settings TO USER KELVARO;
GRANT ALL ON Test_Drive_Space TO USER KELVARO;
GRANT ALL ON PRT_Params TO USER KELVARO;
GRANT ALL ON PRT_Images TO USER KELVARO;
GRANT EXECUTE ON PROCEDURE GET_SERVER_TIME TO PUBLIC;
GRANT EXECUTE ON FUNCTION GetFreeDiskSpace TO PUBLIC;
GRANT SELECT ON Test_Settings TO FUNCTION GetFreeDiskSpace;
GRANT SELECT ON Test_Drive_Space TO FUNCTION GetFreeDiskSpace;

COMMIT;
