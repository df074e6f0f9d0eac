-- The ledger on a PostgreSQL server: the same tables and columns as the SQLite ledger, in the
-- same order (rows are read by position). Names are the lower-case forms of the SQLite names;
-- statements reach them unquoted, or bracketed and turned into quoted lower-case names.
-- Texts compare byte by byte (collation "C"), as in the SQLite ledger, whatever the database's
-- locale. Date columns hold "YYYY-MM-DD HH:MM:SS": rentbook_date() stores a date the program or a
-- tool writes ("2026-12-06", "2026-12-06 09:05") in that one form, refuses text that is no date
-- (or no such day), and stores empty text as NULL. A moment with a time zone, as the server's own
-- tools write one (now(), current_timestamp, "2026-12-07 01:50:12.123+00"), is stored as the
-- session's local time, to the second.
-- ledger_meta holds the schema's version; the program refuses a ledger of a newer version.
-- A ledger made by an earlier build gets rentbook_date() replaced by this one when it is opened.

CREATE FUNCTION rentbook_date(value text, what text) RETURNS text
LANGUAGE plpgsql STABLE AS $fn$
DECLARE
    t text := btrim(value, ' ');
BEGIN
    IF t IS NULL OR t = '' THEN
        RETURN NULL;
    END IF;
    -- Matched without capturing groups and taken apart by position: the server's regular
    -- expressions with groups cost a good fraction of a millisecond, on every row written.
    IF t ~ '^\d{4}-\d{2}-\d{2}(?:[ T]\d{2}:\d{2}(?::\d{2}(?:\.\d*)?)?)?$' THEN
        BEGIN
            RETURN to_char(make_timestamp(substr(t, 1, 4)::int, substr(t, 6, 2)::int, substr(t, 9, 2)::int,
                                          coalesce(nullif(substr(t, 12, 2), ''), '0')::int,
                                          coalesce(nullif(substr(t, 15, 2), ''), '0')::int,
                                          coalesce(nullif(substr(t, 18), ''), '0')::double precision),
                           'YYYY-MM-DD HH24:MI:SS');
        EXCEPTION WHEN datetime_field_overflow OR invalid_datetime_format OR numeric_value_out_of_range THEN
            RAISE EXCEPTION USING ERRCODE = 'check_violation', MESSAGE = what || ' is not a date';
        END;
    END IF;
    -- Only this one form with a zone: the server's own reading of dates takes words ("today"),
    -- day-month orders and Julian days too.
    IF t ~ '^\d{4}-\d{2}-\d{2}[ T]\d{2}:\d{2}(?::\d{2}(?:\.\d*)?)? ?(?:[Zz]|[-+]\d{2}(?::?\d{2}(?::?\d{2})?)?)$' THEN
        BEGIN
            RETURN to_char(t::timestamptz, 'YYYY-MM-DD HH24:MI:SS');
        EXCEPTION WHEN datetime_field_overflow OR invalid_datetime_format OR numeric_value_out_of_range THEN
            NULL;
        END;
    END IF;
    RAISE EXCEPTION USING ERRCODE = 'check_violation', MESSAGE = what || ' is not a date';
END
$fn$;

-- Parts of a stored date, as statements ask for them: year([Rdate]), Month([Rdate]).
CREATE FUNCTION year(value text) RETURNS integer LANGUAGE sql IMMUTABLE AS
$fn$ SELECT CASE WHEN value ~ '^\d{4}-\d{2}-\d{2}' THEN substr(value, 1, 4)::integer END $fn$;
CREATE FUNCTION month(value text) RETURNS integer LANGUAGE sql IMMUTABLE AS
$fn$ SELECT CASE WHEN value ~ '^\d{4}-\d{2}-\d{2}' THEN substr(value, 6, 2)::integer END $fn$;
CREATE FUNCTION day(value text) RETURNS integer LANGUAGE sql IMMUTABLE AS
$fn$ SELECT CASE WHEN value ~ '^\d{4}-\d{2}-\d{2}' THEN substr(value, 9, 2)::integer END $fn$;

-- The SQLite functions the program's statements use, with SQLite's results.
-- cast(x as real) and cast(x as integer) reach the server as rentbook_real(x) and
-- rentbook_integer(x): the longest number at the start of the text (after blanks), 0 when there is
-- none; NULL stays NULL.
CREATE FUNCTION rentbook_real(value text) RETURNS double precision
LANGUAGE plpgsql IMMUTABLE STRICT AS $fn$
DECLARE
    m text := (regexp_match(value, '^\s*([-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?)'))[1];
BEGIN
    IF m IS NULL THEN
        RETURN 0;
    END IF;
    RETURN m::double precision;
EXCEPTION WHEN numeric_value_out_of_range THEN
    -- Too large is infinite and too small is zero, as SQLite reads them.
    IF m ~ '[eE]-' THEN
        RETURN 0;
    END IF;
    RETURN CASE WHEN m LIKE '-%' THEN '-Infinity' ELSE 'Infinity' END::double precision;
END
$fn$;
CREATE FUNCTION rentbook_real(value double precision) RETURNS double precision
LANGUAGE sql IMMUTABLE STRICT AS $fn$ SELECT value $fn$;

CREATE FUNCTION rentbook_integer(value text) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE STRICT AS $fn$
DECLARE
    m text := (regexp_match(value, '^\s*([-+]?\d+)'))[1];
BEGIN
    IF m IS NULL THEN
        RETURN 0;
    END IF;
    RETURN m::bigint;
EXCEPTION WHEN numeric_value_out_of_range THEN
    RETURN CASE WHEN m LIKE '-%' THEN -9223372036854775808 ELSE 9223372036854775807 END;
END
$fn$;
CREATE FUNCTION rentbook_integer(value double precision) RETURNS bigint
LANGUAGE sql IMMUTABLE STRICT AS $fn$
SELECT CASE WHEN value >= 9223372036854775807 THEN 9223372036854775807
            WHEN value <= -9223372036854775808 THEN -9223372036854775808
            WHEN value <> value THEN 0
            ELSE trunc(value)::bigint END $fn$;

-- date(x) and date(x, '-N days') reach the server as rentbook_day(...): the day of a stored date
-- ("YYYY-MM-DD", NULL for text that is no date), moved by whole days, hours, minutes or seconds.
-- Other modifiers are refused: SQLite counts months and years its own way.
CREATE FUNCTION rentbook_day(value text, modifier text DEFAULT '+0 days') RETURNS text
LANGUAGE plpgsql IMMUTABLE STRICT AS $fn$
DECLARE
    t timestamp;
BEGIN
    IF modifier !~* '^\s*[-+]?\d+(?:\.\d*)?\s+(?:day|hour|minute|second)s?\s*$' THEN
        RAISE EXCEPTION USING ERRCODE = 'feature_not_supported',
            MESSAGE = 'date modifier "' || modifier || '" is not supported by the server ledger';
    END IF;
    IF value !~ '^\d{4}-\d{2}-\d{2}(?:[ T]\d{2}:\d{2}(?::\d{2}(?:\.\d*)?)?)?$' THEN
        RETURN NULL;
    END IF;
    BEGIN
        t := make_timestamp(substr(value, 1, 4)::int, substr(value, 6, 2)::int, substr(value, 9, 2)::int,
                            coalesce(nullif(substr(value, 12, 2), ''), '0')::int,
                            coalesce(nullif(substr(value, 15, 2), ''), '0')::int,
                            coalesce(nullif(substr(value, 18), ''), '0')::double precision);
    EXCEPTION WHEN datetime_field_overflow OR invalid_datetime_format OR numeric_value_out_of_range THEN
        RETURN NULL;
    END;
    RETURN to_char(t + modifier::interval, 'YYYY-MM-DD');
END
$fn$;

-- max(a, b) and min(a, b) of two values: NULL when either is.
CREATE FUNCTION max(a anycompatible, b anycompatible) RETURNS anycompatible
LANGUAGE sql IMMUTABLE STRICT AS $fn$ SELECT greatest(a, b) $fn$;
CREATE FUNCTION min(a anycompatible, b anycompatible) RETURNS anycompatible
LANGUAGE sql IMMUTABLE STRICT AS $fn$ SELECT least(a, b) $fn$;

CREATE TABLE receipt (
    id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    "no" text COLLATE "C",
    rdate text COLLATE "C",
    district text COLLATE "C",
    waterlast double precision,
    waterthis double precision,
    waterfee double precision,
    eleclast double precision,
    electhis double precision,
    elecfee double precision,
    housefee double precision,
    cleanfee double precision,
    tvfee double precision,
    netfee double precision,
    managefee double precision,
    otherfee double precision,
    total_money double precision,
    remark text COLLATE "C",
    accountant text COLLATE "C",
    payee text COLLATE "C",
    waterprice double precision,
    elecprice double precision,
    standby1 text COLLATE "C",
    standby2 text COLLATE "C",
    standby3 text COLLATE "C",
    standby4 text COLLATE "C",
    standby5 text COLLATE "C",
    tdate text COLLATE "C",
    standby6 text COLLATE "C"
);

CREATE INDEX receipt_no ON receipt ("no");
CREATE INDEX receipt_district_rdate ON receipt (district, rdate);
CREATE INDEX receipt_rdate ON receipt (rdate);

CREATE FUNCTION receipt_dates() RETURNS trigger LANGUAGE plpgsql AS $fn$
BEGIN
    NEW.rdate := rentbook_date(NEW.rdate, 'Rdate or Tdate');
    NEW.tdate := rentbook_date(NEW.tdate, 'Rdate or Tdate');
    RETURN NEW;
END
$fn$;
CREATE TRIGGER receipt_dates BEFORE INSERT OR UPDATE OF rdate, tdate ON receipt
    FOR EACH ROW EXECUTE FUNCTION receipt_dates();

-- Every open main window listens: a receipt saved, amended or deleted by any clerk is announced
-- when its transaction commits.
CREATE FUNCTION receipt_changed() RETURNS trigger LANGUAGE plpgsql AS $fn$
BEGIN
    PERFORM pg_notify('rentbook_receipts', lower(TG_OP));
    RETURN NULL;
END
$fn$;
CREATE TRIGGER receipt_changed AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON receipt
    FOR EACH STATEMENT EXECUTE FUNCTION receipt_changed();

CREATE TABLE "user" (
    id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    username text COLLATE "C",
    power text COLLATE "C",
    code text COLLATE "C"
);

CREATE TABLE user_set (
    id integer PRIMARY KEY,
    accountantset text COLLATE "C",
    recordset text COLLATE "C",
    set2 text COLLATE "C",
    set3 text COLLATE "C",
    set4 text COLLATE "C",
    set5 text COLLATE "C",
    set6 text COLLATE "C",
    set7 text COLLATE "C",
    set8 text COLLATE "C",
    set9 text COLLATE "C",
    set10 text COLLATE "C"
);

CREATE TABLE table2 (
    row1 text COLLATE "C",
    row2 text COLLATE "C",
    row3 text COLLATE "C",
    row4 text COLLATE "C",
    row5 text COLLATE "C",
    row6 text COLLATE "C",
    row7 text COLLATE "C"
);

CREATE TABLE price (
    id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    items text COLLATE "C",
    price text COLLATE "C"
);

CREATE TABLE client (
    id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    name text COLLATE "C",
    card text COLLATE "C",
    tel text COLLATE "C",
    address text COLLATE "C",
    qq text COLLATE "C",
    company text COLLATE "C",
    row1 text COLLATE "C",
    row2 text COLLATE "C",
    row3 text COLLATE "C",
    row4 text COLLATE "C",
    row5 text COLLATE "C",
    row6 text COLLATE "C",
    zumoney double precision,
    datefrom text COLLATE "C",
    dateto text COLLATE "C"
);

CREATE FUNCTION client_dates() RETURNS trigger LANGUAGE plpgsql AS $fn$
BEGIN
    NEW.datefrom := rentbook_date(NEW.datefrom, 'dateFrom or dateTo');
    NEW.dateto := rentbook_date(NEW.dateto, 'dateFrom or dateTo');
    RETURN NEW;
END
$fn$;
CREATE TRIGGER client_dates BEFORE INSERT OR UPDATE OF datefrom, dateto ON client
    FOR EACH ROW EXECUTE FUNCTION client_dates();

CREATE TABLE addr_items (items text COLLATE "C");
CREATE TABLE people_items (items text COLLATE "C");
CREATE TABLE remark_items (items text COLLATE "C");

CREATE TABLE ledger_meta (name text PRIMARY KEY, value text NOT NULL);

-- What a first start needs, as in the SQLite ledger.
INSERT INTO user_set (id, accountantset, recordset, set2, set3, set4, set5, set6, set7, set8, set9, set10)
VALUES (1, '', '', '', '', '收款收据', '', '1', '', '', '', '未盖章无效');
INSERT INTO user_set (id, accountantset, recordset, set2, set3, set4, set5, set6, set7, set8, set9, set10)
VALUES (2, '', '', '', '', '', '', '2410', '933', '', '', '');
INSERT INTO user_set (id, accountantset, recordset, set2, set3, set4, set5, set6, set7, set8, set9, set10)
VALUES (3, '1', '', '1', '热水费(吨)', '3', '2', '押金', '卫生费', '管理费', '网费', '1');
INSERT INTO user_set (id, accountantset, recordset, set2, set3, set4, set5, set6, set7, set8, set9, set10)
VALUES (4, '', '', '', '', '', '', '', '', '', '', '');
INSERT INTO price (items, price) VALUES ('水费', '');
INSERT INTO price (items, price) VALUES ('电费', '');

INSERT INTO ledger_meta (name, value) VALUES ('schema_version', '3');
