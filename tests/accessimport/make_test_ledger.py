#!/usr/bin/env python3
"""Makes the ledgers the Access tests turn into Access files: every kind of column with NULL, empty
text, GBK-only and rare characters, dates at the edges of what Jet keeps, money with four decimals.

    make_test_ledger.py SCHEMA.sql OUT.rbk [--jet3] [--receipts N]

--jet3 leaves out what GBK cannot hold (emoji, characters beyond GBK); --receipts adds N ordinary
receipts after the edge cases, for the large file.
"""
import argparse
import os
import sqlite3

RECEIPT_COLUMNS = ["NO", "Rdate", "district", "waterlast", "waterthis", "waterfee", "eleclast", "electhis",
                   "elecfee", "housefee", "cleanfee", "TVfee", "netfee", "managefee", "otherfee", "total_money",
                   "Remark", "accountant", "payee", "waterprice", "elecprice", "standby1", "standby2", "standby3",
                   "standby4", "standby5", "Tdate", "standby6"]

# Characters in GBK but not in GB2312, and text with every sign a CSV or SQL writer must escape.
GBK_ONLY = "堃喆犇镕赟玥昇"
AWKWARD = "a\"b,c\nd\te\\f 'O''Brien'"
LONG_MEMO = "长备注：" + "水电费按月结清，押金退还时扣除损坏赔偿。" * 150  # over one page


def receipt(no, rdate, tdate=None, **values):
    row = {c: None for c in RECEIPT_COLUMNS}
    row.update(NO=no, Rdate=rdate, Tdate=tdate, **values)
    return row


def edge_receipts(jet3):
    money = dict(waterfee=12.5, elecfee=0.0001, housefee=1500.0, cleanfee=-20.25, TVfee=0.0, netfee=99.99,
                 managefee=123456789.1234, otherfee=0.5, total_money=1234.5678, waterprice=3.45, elecprice=0.8765)
    readings = dict(waterlast=1024.0, waterthis=1036.5, eleclast=0.1 + 0.2, electhis=123456789.12345679)
    texts = dict(district=f"幸福小区3栋101{GBK_ONLY}", accountant="张三", payee="李四", standby1="10",
                 standby2="12.5", standby3="25.00", standby4="2.00", standby5="1", standby6="31")
    rows = [
        receipt("0000001", "2024-02-29 13:05:09", "2024-03-31 00:00:00", Remark="二月", **money, **readings, **texts),
        receipt("0000002", "2023-12-31 00:00:00", "2024-01-31 00:00:00", Remark="", district="", accountant=""),
        receipt("0000003", "2023-02-28 23:59:59", "2000-02-29 12:00:00", Remark=AWKWARD, district=AWKWARD),
        receipt("0000004", "1899-12-30 00:00:00", "1899-12-30 12:00:00", Remark=LONG_MEMO),
        receipt("0000005", "1899-12-29 06:00:00", "1800-02-28 23:59:59", Remark="备注" * 40),
        receipt("0000006", "0100-01-01 00:00:00", "9999-12-31 23:59:59", district="首尾"),
        receipt("0000007", "1900-03-01 00:00:00", "1900-02-28 00:00:01", housefee=-0.0001, total_money=-1.5),
        receipt(None, None),  # every column NULL but the id
    ]
    # Rows past 256 and 512 bytes in a Jet 3 file, whose offsets need a jump table; some lengths
    # need its unused entry as well.
    for n in range(24):
        rows.append(receipt(f"00001{n:02d}", "2024-05-01 09:30:00", district="长" * (5 + 3 * n),
                            accountant="会计" * n, payee=GBK_ONLY * 10, standby1="x" * (n * 3)))
    if not jet3:
        rows.append(receipt("0000009", "2025-01-01 08:00:00", None, district="😀租金🏠䶮𠮷",
                            Remark="表情😀" * 20 + "𠮷", payee="𠮷"))
    return rows


def ordinary_receipt(n):
    day = n % 28 + 1
    month = n // 28 % 12 + 1
    year = 2000 + n // 336 % 25
    water = float(n % 500)
    elec = float(n % 900)
    return receipt(f"{n + 1:07d}", f"{year}-{month:02d}-{day:02d} {n % 24:02d}:{n % 60:02d}:{n * 7 % 60:02d}",
                   f"{year}-{month:02d}-28 00:00:00", district=f"{n % 40 + 1}号楼{n % 300 + 101}室",
                   waterlast=water, waterthis=water + 12, waterfee=36.0, eleclast=elec, electhis=elec + 80,
                   elecfee=56.0, housefee=800.0 + n % 7, total_money=892.0 + n % 7, accountant="王会计",
                   payee="赵出纳", waterprice=3.0, elecprice=0.7, standby5="0", standby6="28")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("schema")
    p.add_argument("out")
    p.add_argument("--jet3", action="store_true")
    p.add_argument("--receipts", type=int, default=0)
    args = p.parse_args()
    if os.path.exists(args.out):
        os.remove(args.out)
    db = sqlite3.connect(args.out)
    with open(args.schema, encoding="utf-8") as f:
        db.executescript(f.read())
    rows = edge_receipts(args.jet3) + [ordinary_receipt(n) for n in range(args.receipts)]
    placeholders = ", ".join("?" * len(RECEIPT_COLUMNS))
    quoted = ", ".join(f'"{c}"' for c in RECEIPT_COLUMNS)
    db.executemany(f"insert into RECEIPT ({quoted}) values ({placeholders})",
                   [[r[c] for c in RECEIPT_COLUMNS] for r in rows])
    users = [("admin", "1", "48151623"), ("张三", "0", ""), (None, None, None)]
    if not args.jet3:
        users.append(("😀", "0", "密码𠮷"))
    db.executemany('insert into "USER" (userName, power, code) values (?, ?, ?)', users)
    db.execute("insert into table2 values ('1', '收款收据', '未盖章无效', '', '0', NULL, '宋体')")
    db.execute("insert into price (items, price) values ('热水费', '')")
    db.execute("insert into client (name, card, tel, address, qq, company, row1, zuMoney, dateFrom, dateTo) "
                "values ('王五', '110101199001011234', '13800000000', '幸福小区3栋101', 'wx_wang', '某某公司', "
                "'500', 1500.5, '2024-01-01 00:00:00', '2024-12-31 00:00:00')")
    db.execute("insert into client (name) values (NULL)")
    db.executemany("insert into addr_items values (?)", [("幸福小区3栋101",), ("",), (None,), (GBK_ONLY,)])
    db.executemany("insert into people_items values (?)", [("张三",), ("李四",)])
    db.execute("insert into remark_items values ('二月')")
    db.commit()
    db.close()


if __name__ == "__main__":
    main()
