#!/usr/bin/env python3
"""Writes the company database DDL for SQLite, PostgreSQL and SQL Server from one table list.

Run after changing a table: python3 host/schema/gen_schema.py
"""
import os

# (column, type): type is an int n for CHAR(n), 'F' for a floating-point number, 'I' for an integer,
# 'T' for a text of any length, ('V', n) for a text of at most n characters kept at its own length.
# A remark of the rows a save rewrites is ('V', 255): it is nearly always empty, and a CHAR(255) would
# store 255 blanks in every row of the server engines, half of each row a save writes and reads.
AUDIT = [("COMPANY", 20), ("CREATOR", 10), ("USR_GROUP", 10), ("CREATE_DATE", 17),
         ("MODIFIER", 10), ("MODI_DATE", 17), ("FLAG", "I")]

TABLES = [
    ("CMSMA", "company parameters (first row)", [
        ("MA001", 1), ("MA002", 1), ("MA055", 1)], None, []),
    ("CMSMB", "factories", [("MB001", 6), ("MB002", 40)], ["MB001"], []),
    ("CMSMD", "work centres", [("MD001", 10), ("MD002", 40), ("MD003", 6)], ["MD001"], []),
    ("CMSMQ", "document types", [
        ("MQ001", 4), ("MQ002", 20), ("MQ003", 2), ("MQ017", 1)], ["MQ001"], []),
    ("CMSMS", "report footers and sign-offs", [
        ("MS001", 1), ("MS002", 10), ("MS003", 255), ("MS004", 255), ("MS005", 255)], ["MS001", "MS002"], []),
    ("INVMB", "items", [
        ("MB001", 20), ("MB002", 60), ("MB003", 60), ("MB004", 4), ("MB025", 1)], ["MB001"], []),
    ("PURMA", "suppliers", [
        ("MA001", 10), ("MA002", 20), ("MA003", 60), ("MA016", 1)], ["MA001"], []),
    ("MPSMB", "resources", [
        ("MB001", 10), ("MB002", 40), ("MB003", 6), ("MB006", 4), ("MB007", "F")], ["MB001"], []),
    ("MPSMC", "resources an item uses", [
        ("MC001", 20), ("MC002", 10), ("MC004", "F"), ("MC005", "F")], ["MC001", "MC002"], []),
    ("MPSTA", "schedule source documents", [
        ("TA001", 6), ("TA002", 4), ("TA003", 11), ("TA004", 4), ("TA005", 1), ("TA006", 20),
        ("TA007", "F"), ("TA008", 8), ("TA009", 10)], ["TA001", "TA002", "TA003", "TA004"], []),
    ("MPSTB", "schedule source lines", [
        ("TB001", 6), ("TB002", 5), ("TB003", 1), ("TB051", 4), ("TB004", 11), ("TB005", 4),
        ("TB046", 20), ("TB008", "F"), ("TB049", 10), ("TB037", 40), ("TB006", 20), ("TB026", "F"),
        ("TB010", 8), ("TB013", 8), ("TB014", 8), ("TB034", 8), ("TB036", 10), ("TB039", "F"),
        ("TB040", 12), ("TB027", 1), ("TB035", 1), ("TB038", 1), ("TB028", 1), ("TB042", 4),
        ("TB044", 10), ("TB045", 10)],
     ["TB001", "TB003", "TB051", "TB004", "TB005", "TB037"],
     [("MPSTB_ORDER", ["TB001", "TB002", "TB003", "TB004", "TB005", "TB037"])]),
    ("MPSTC", "daily schedule quantities", [
        ("TC001", 6), ("TC002", 1), ("TC009", 4), ("TC003", 11), ("TC004", 4), ("TC005", 40),
        ("TC006", 8), ("TC007", "F"), ("TC008", ("V", 255))],
     ["TC001", "TC002", "TC009", "TC003", "TC004", "TC005", "TC006"], []),
    ("MPSTD", "daily resource load", [
        ("TD001", 10), ("TD002", 8), ("TD003", "F"), ("TD004", "F"), ("TD005", "F"), ("TD006", "F"),
        ("TD007", "F"), ("TD008", ("V", 255))], ["TD001", "TD002"], [("MPSTD_DAY", ["TD002"])]),
    ("MPSTF", "resource consumption details", [
        ("TF001", 10), ("TF002", 8), ("TF003", 1), ("TF004", 1), ("TF011", 4), ("TF005", 11),
        ("TF006", 4), ("TF007", 40), ("TF008", "F"), ("TF009", "F"), ("TF010", ("V", 255))],
     ["TF001", "TF002", "TF003", "TF004", "TF011", "TF005", "TF006", "TF007"],
     # A save sums the plan rows of every loaded resource day. SQLite reaches them through the key, one
     # table row at a time; this index holds the sums' columns, so it reads only the index (a sixth of
     # the time). PostgreSQL sums the table in one pass instead and would only pay for the index.
     [("MPSTF_LOAD", ["TF001", "TF002", "TF003", "TF008", "TF009"], {"sqlite"})]),
    ("ADMMB", "programs", [
        ("MB001", 10), ("MB002", 40), ("MB003", 4), ("MB004", 1), ("MB005", 40), ("MB006", 1),
        ("MB007", 10), ("MB008", 40), ("MB009", 60)], ["MB001"], []),
    ("KVRMA", "system users", [
        ("MA001", 10), ("MA002", 40), ("MA003", 10), ("MA004", 80)], ["MA001"], []),
    ("KVRINTMA", "integration settings", [
        ("MA001", 40), ("MA002", 80), ("MA003", 255)], ["MA001"], []),
    ("KVRSYS", "company system settings the host's counter service reports", [
        ("SY001", 20), ("SY002", 255)], ["SY001"], []),
    ("CMSMV", "employees", [("MV001", 10), ("MV002", 40), ("MV004", 10)], ["MV001"], []),
    ("COPMA", "customers", [("MA001", 10), ("MA002", 20), ("MA003", 60)], ["MA001"], []),
    ("ADMPH", "phrases of a user", [("PH001", 10), ("PH002", 4), ("PH003", 255)], ["PH001", "PH002"], []),
    ("KVRJOB", "jobs the application server accepted", [
        ("JB001", 20), ("JB002", 10), ("JB003", 20), ("JB004", 10), ("JB005", 20), ("JB006", 1),
        ("JB007", 17), ("JB008", 17), ("JB009", "T"), ("JB010", "T")], ["JB001"], []),
    ("KVRCON", "condition schemes of a user and program", [
        ("CN001", 10), ("CN002", 10), ("CN003", 40), ("CN004", 17), ("CN005", "T"), ("CN006", "T")],
     ["CN001", "CN002", "CN003"], []),
    ("KVRPOW", "rights of a user on a program", [
        ("PW001", 10), ("PW002", 10), ("PW003", 255), ("PW004", 20)], ["PW001", "PW002"], []),
]

# Tables whose rows of a factory a save of the workbench writes anew, every one of them. PostgreSQL
# keeps a new version of each row; with room left on every page it puts it beside the old one and
# leaves the indexes alone, which makes such a save several times quicker.
REWRITTEN = {"MPSTB", "MPSTC", "MPSTD", "MPSTF"}
TABLE_OPTIONS = {"pgsql": " WITH (fillfactor = 50)"}

DIALECTS = {
    "sqlite": dict(char=lambda n: f"CHAR({n}) COLLATE RTRIM NOT NULL DEFAULT ''",
                   V=lambda n: f"CHAR({n}) COLLATE RTRIM NOT NULL DEFAULT ''",
                   F="FLOAT NOT NULL DEFAULT 0", I="INTEGER NOT NULL DEFAULT 0", T="TEXT NOT NULL DEFAULT ''"),
    "pgsql": dict(char=lambda n: f"CHAR({n}) NOT NULL DEFAULT ''", V=lambda n: f"VARCHAR({n}) NOT NULL DEFAULT ''",
                  F="DOUBLE PRECISION NOT NULL DEFAULT 0", I="INTEGER NOT NULL DEFAULT 0",
                  T="TEXT NOT NULL DEFAULT ''"),
    "mssql": dict(char=lambda n: f"CHAR({n}) NOT NULL DEFAULT ''", V=lambda n: f"VARCHAR({n}) NOT NULL DEFAULT ''",
                  F="FLOAT NOT NULL DEFAULT 0", I="INT NOT NULL DEFAULT 0", T="NVARCHAR(MAX) NOT NULL DEFAULT ''"),
}

HEADER = {
    "sqlite": "-- Company database, SQLite. CHAR columns compare ignoring trailing blanks (COLLATE RTRIM).",
    "pgsql": "-- Company database, PostgreSQL.",
    "mssql": "-- Company database, SQL Server.",
}


def ddl(dialect):
    d = DIALECTS[dialect]
    out = [HEADER[dialect], "-- Written by gen_schema.py; edit the table list there.", ""]
    for name, meaning, columns, key, indexes in TABLES:
        lines = []
        for col, typ in AUDIT + columns:
            if isinstance(typ, int):
                sql = d["char"](typ)
            elif isinstance(typ, tuple):
                sql = d[typ[0]](typ[1])
            else:
                sql = d[typ]
            lines.append(f"    {col} {sql}")
        if key:
            lines.append(f"    CONSTRAINT PK_{name} PRIMARY KEY ({', '.join(key)})")
        out.append(f"-- {meaning}")
        options = TABLE_OPTIONS.get(dialect, "") if name in REWRITTEN else ""
        out.append(f"CREATE TABLE {name} (\n" + ",\n".join(lines) + f"\n){options};")
        for index, cols, *only in indexes:
            if only and dialect not in only[0]:
                continue
            out.append(f"CREATE INDEX {index} ON {name} ({', '.join(cols)});")
        out.append("")
    return "\n".join(out)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for dialect in DIALECTS:
        with open(os.path.join(here, f"company_{dialect}.sql"), "w", encoding="utf-8") as f:
            f.write(ddl(dialect))
