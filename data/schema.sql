-- The ledger: tables and columns in the order the program reads them (rows are read by position).
-- Date columns hold "YYYY-MM-DD HH:MM:SS". The program writes them so; the triggers below keep any
-- SQLite tool to that too, with SQLite's own date functions only: a date the engine reads
-- ("2026-12-06", "2026-12-06 09:05") is stored in the one form, text that is no date (or no such
-- day, like 2026-02-30) is refused, and empty text is stored as NULL.
-- PRAGMA user_version is the schema's version; the program upgrades older ledgers on open.

CREATE TABLE RECEIPT (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    "NO" TEXT,
    Rdate TEXT,
    district TEXT,
    waterlast REAL,
    waterthis REAL,
    waterfee REAL,
    eleclast REAL,
    electhis REAL,
    elecfee REAL,
    housefee REAL,
    cleanfee REAL,
    TVfee REAL,
    netfee REAL,
    managefee REAL,
    otherfee REAL,
    total_money REAL,
    Remark TEXT,
    accountant TEXT,
    payee TEXT,
    waterprice REAL,
    elecprice REAL,
    standby1 TEXT,
    standby2 TEXT,
    standby3 TEXT,
    standby4 TEXT,
    standby5 TEXT,
    Tdate TEXT,
    standby6 TEXT
);

CREATE INDEX receipt_no ON RECEIPT ("NO");
CREATE INDEX receipt_district_rdate ON RECEIPT (district, Rdate);
-- The overview's sums by month and a month's receipts.
CREATE INDEX receipt_rdate ON RECEIPT (Rdate);

CREATE TRIGGER receipt_dates_check_insert BEFORE INSERT ON RECEIPT
BEGIN
    SELECT RAISE(ABORT, 'Rdate or Tdate is not a date')
    WHERE (COALESCE(NEW.Rdate, '') <> '' AND COALESCE(date(julianday(trim(NEW.Rdate))), '') <> substr(trim(NEW.Rdate), 1, 10))
       OR (COALESCE(NEW.Tdate, '') <> '' AND COALESCE(date(julianday(trim(NEW.Tdate))), '') <> substr(trim(NEW.Tdate), 1, 10));
END;

CREATE TRIGGER receipt_dates_check_update BEFORE UPDATE OF Rdate, Tdate ON RECEIPT
BEGIN
    SELECT RAISE(ABORT, 'Rdate or Tdate is not a date')
    WHERE (COALESCE(NEW.Rdate, '') <> '' AND COALESCE(date(julianday(trim(NEW.Rdate))), '') <> substr(trim(NEW.Rdate), 1, 10))
       OR (COALESCE(NEW.Tdate, '') <> '' AND COALESCE(date(julianday(trim(NEW.Tdate))), '') <> substr(trim(NEW.Tdate), 1, 10));
END;

CREATE TRIGGER receipt_dates_insert AFTER INSERT ON RECEIPT
BEGIN
    UPDATE RECEIPT SET Rdate = datetime(NULLIF(trim(NEW.Rdate), '')), Tdate = datetime(NULLIF(trim(NEW.Tdate), ''))
    WHERE id = NEW.id;
END;

CREATE TRIGGER receipt_dates_update AFTER UPDATE OF Rdate, Tdate ON RECEIPT
BEGIN
    UPDATE RECEIPT SET Rdate = datetime(NULLIF(trim(NEW.Rdate), '')), Tdate = datetime(NULLIF(trim(NEW.Tdate), ''))
    WHERE id = NEW.id;
END;

CREATE TABLE "USER" (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    userName TEXT,
    power TEXT,
    code TEXT
);

CREATE TABLE USER_SET (
    id INTEGER PRIMARY KEY,
    accountantSet TEXT,
    recordSet TEXT,
    set2 TEXT,
    set3 TEXT,
    set4 TEXT,
    set5 TEXT,
    set6 TEXT,
    set7 TEXT,
    set8 TEXT,
    set9 TEXT,
    set10 TEXT
);

CREATE TABLE table2 (
    row1 TEXT,
    row2 TEXT,
    row3 TEXT,
    row4 TEXT,
    row5 TEXT,
    row6 TEXT,
    row7 TEXT
);

CREATE TABLE price (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    items TEXT,
    price TEXT
);

CREATE TABLE client (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT,
    card TEXT,
    tel TEXT,
    address TEXT,
    qq TEXT,
    company TEXT,
    row1 TEXT,
    row2 TEXT,
    row3 TEXT,
    row4 TEXT,
    row5 TEXT,
    row6 TEXT,
    zuMoney REAL,
    dateFrom TEXT,
    dateTo TEXT
);

CREATE TRIGGER client_dates_check_insert BEFORE INSERT ON client
BEGIN
    SELECT RAISE(ABORT, 'dateFrom or dateTo is not a date')
    WHERE (COALESCE(NEW.dateFrom, '') <> '' AND COALESCE(date(julianday(trim(NEW.dateFrom))), '') <> substr(trim(NEW.dateFrom), 1, 10))
       OR (COALESCE(NEW.dateTo, '') <> '' AND COALESCE(date(julianday(trim(NEW.dateTo))), '') <> substr(trim(NEW.dateTo), 1, 10));
END;

CREATE TRIGGER client_dates_check_update BEFORE UPDATE OF dateFrom, dateTo ON client
BEGIN
    SELECT RAISE(ABORT, 'dateFrom or dateTo is not a date')
    WHERE (COALESCE(NEW.dateFrom, '') <> '' AND COALESCE(date(julianday(trim(NEW.dateFrom))), '') <> substr(trim(NEW.dateFrom), 1, 10))
       OR (COALESCE(NEW.dateTo, '') <> '' AND COALESCE(date(julianday(trim(NEW.dateTo))), '') <> substr(trim(NEW.dateTo), 1, 10));
END;

CREATE TRIGGER client_dates_insert AFTER INSERT ON client
BEGIN
    UPDATE client SET dateFrom = datetime(NULLIF(trim(NEW.dateFrom), '')), dateTo = datetime(NULLIF(trim(NEW.dateTo), ''))
    WHERE id = NEW.id;
END;

CREATE TRIGGER client_dates_update AFTER UPDATE OF dateFrom, dateTo ON client
BEGIN
    UPDATE client SET dateFrom = datetime(NULLIF(trim(NEW.dateFrom), '')), dateTo = datetime(NULLIF(trim(NEW.dateTo), ''))
    WHERE id = NEW.id;
END;

CREATE TABLE addr_items (items TEXT);
CREATE TABLE people_items (items TEXT);
CREATE TABLE remark_items (items TEXT);

-- What a first start needs: the receipt template, the paper, the form's captions and the two
-- priced items. No table2 row (the first start writes it) and no user (the login makes "admin").
INSERT INTO USER_SET (id, accountantSet, recordSet, set2, set3, set4, set5, set6, set7, set8, set9, set10)
VALUES (1, '', '', '', '', '收款收据', '', '1', '', '', '', '未盖章无效');
INSERT INTO USER_SET (id, accountantSet, recordSet, set2, set3, set4, set5, set6, set7, set8, set9, set10)
VALUES (2, '', '', '', '', '', '', '2410', '933', '', '', '');
INSERT INTO USER_SET (id, accountantSet, recordSet, set2, set3, set4, set5, set6, set7, set8, set9, set10)
VALUES (3, '1', '', '1', '热水费(吨)', '3', '2', '押金', '卫生费', '管理费', '网费', '1');
INSERT INTO USER_SET (id, accountantSet, recordSet, set2, set3, set4, set5, set6, set7, set8, set9, set10)
VALUES (4, '', '', '', '', '', '', '', '', '', '', '');
INSERT INTO price (items, price) VALUES ('水费', '');
INSERT INTO price (items, price) VALUES ('电费', '');

PRAGMA user_version = 3;
