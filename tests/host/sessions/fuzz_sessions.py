#!/usr/bin/env python3
"""Random planner sessions on fresh demo companies, driven through the scripted client.

Each seed writes a demo installation with tarnix-demo and runs rounds of sessions on it. A round queries
a factory (all its lines, or those of one main resource or one source document), enters edit mode and
takes random steps as a planner would (daily quantities that keep a line's sum, cells with known and
unknown codes, linkage boxes, drags, stretches, arrow keys, undo and redo, looks at the other tab, a
line, a column or an export; some save half-way and go on), then saves or cancels,
dumps the lines and closes. Some rounds meet another planner, who saves the same lines first: their save
is refused and they cancel. After each round:

- the client ended by itself (no crash, no hang) and every step succeeded; an unknown code was refused
  with an error message and left the cell as it was;
- a new session lists exactly the lines the round's last dump showed (what was saved is what was
  shown; a cancel or a refused save showed what is stored);
- the database (the installation's SQLite file, or with --pg the company on a PostgreSQL server)
  holds together: a saved line's stored days lie within its dates and add up to its quantity, each
  plan row the workbench wrote lies on a day of its line with a quantity, and each load row a save
  wrote holds the sums of the plan rows of its resource and day.

A round whose stretch could not take a bar's edge because the need-date marker lies over it is skipped.

  tests/host/sessions/fuzz_sessions.py build/bin [--seeds N] [--first SEED] [--rounds R] [--steps S] [--keep]
                                       [--lines N] [--ui-code-page 936|950|437] [--start YYYYMMDD]
                                       [--pg PORT | --pg-server]

Prints one line per round and a summary; exits 1 when any check failed (the failing script is kept).
"""
import argparse
import glob
import os
import random
import re
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile

FACTORIES = ["F01", "F02"]
IN_HOUSE_TYPES = ["5101", "5102", "5103"]
OUTSOURCED_TYPES = ["5201", "5202"]
WORK_CENTRES = {"F01": ["WC01", "WC02", "WC05"], "F02": ["WC06", "WC08"]}
SUPPLIERS = ["S001", "S002", "S009", "S012"]  # approved ones: S010 waits for approval, S011 may not trade
# The need-date marker, painted over the bar and 5 pixels wide, covers the 3-pixel grip of the bar's start
# when the need date is its first day, and of its stop when it is its last day and a day is under 7 pixels.
MARKER_OVER_GRIP = re.compile(r"stretch: the (start|stop) of row \d+ moved by 0 days$")
UNKNOWN_CODES = ["ZZZZ", "9999", "X'1", "整"]


class Line:
    def __init__(self, fields):
        self.key = tuple(fields[1:7])
        self.start, self.stop = fields[7], fields[8]
        self.days = {}
        for part in fields[9:]:
            day, qty = part.split("=")
            self.days[day] = float(qty)

    def same(self, other):
        return (self.key, self.start, self.stop, self.days) == (other.key, other.start, other.stop, other.days)

    def text(self):
        days = " ".join(f"{d}={q:g}" for d, q in sorted(self.days.items()))
        return f"{'-'.join(self.key)} {self.start}..{self.stop} {days}"


def parse_dumps(out):
    """Every block of dump lines in the client's output, in order."""
    blocks, current = [], None
    for raw in out.splitlines():
        fields = raw.split("\t")
        if len(fields) >= 9 and fields[0] in ("", "*"):
            if current is None:
                current = []
                blocks.append(current)
            current.append(Line(fields))
        else:
            current = None
    return blocks


def run_client(bindir, install, script_text, workdir, name="session", timeout=120):
    script = os.path.join(workdir, name + ".script")
    with open(script, "w", encoding="utf-8") as f:
        f.write(script_text)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    try:
        p = subprocess.run([os.path.join(bindir, "tarnix-client"), "--install", install, "--script", script],
                           capture_output=True, text=True, timeout=timeout, env=env)
    except subprocess.TimeoutExpired:
        return None, "", "the client did not end within %d s" % timeout
    except OSError as e:
        return None, "", "the client could not be started: %s" % e
    return p.returncode, p.stdout, p.stderr


def daily_step(rng, row, line):
    """Moves a part of one day's quantity to another day (a day of the bar, or one just past it)."""
    days = sorted(line.days)
    if not days:
        return None
    source = rng.choice(days)
    if line.days[source] < 2:
        return None
    moved = float(rng.randint(1, int(line.days[source]) - 1))
    last = days[-1]
    targets = [d for d in days if d != source]
    y, m, d = int(last[:4]), int(last[4:6]), int(last[6:])
    if d < 28:
        targets.append("%04d%02d%02d" % (y, m, d + 1))
    if not targets:
        return None
    target = rng.choice(targets)
    values = {source: line.days[source] - moved, target: line.days.get(target, 0) + moved}
    return "daily %d %s" % (row, ",".join(f"{k}={v:g}" for k, v in sorted(values.items())))


def make_round(rng, query, factory, lines, codes, steps, workdir):
    """A session's script, how many codes in it are to be refused, and whether it saves. Codes: each
    row's codes; the work order type decides whether its work centre or its supplier can be edited."""
    out = [query, "edit"]
    codes = [dict(c) for c in codes]
    up = down = mps = False
    refusals = 0
    moved = set()
    # Steps that can be undone and redone: the codes of all rows before and after each.
    done, undone = [], []

    def step_taken(before):
        done.append((before, [dict(c) for c in codes]))
        undone.clear()
    n = len(lines)
    # Some sessions save, edit on and save again: the second save starts from what the first one wrote.
    blocks = 2 if rng.random() < 0.35 else 1
    for block in range(blocks):
        if block:
            out += ["save", "edit"]
            done.clear()
            undone.clear()
        for _ in range(steps // blocks):
            kind = rng.choices(["daily", "cell", "link", "drag", "stretch", "key", "undo", "redo", "look"],
                               weights=[3, 2, 2, 5, 3, 2, 2, 1, 2])[0]
            row = rng.randrange(n)
            if kind == "daily":
                if row in moved:
                    continue
                step = daily_step(rng, row, lines[row])
                if step:
                    out.append(step)
                    step_taken([dict(c) for c in codes])
                    # A daily edit is undone as a whole: the row's days are then as they were.
                    moved.add(row)
            elif kind == "cell":
                before = [dict(c) for c in codes]
                in_house = codes[row]["TB042"] in IN_HOUSE_TYPES
                field = rng.choice(["TB042", "TB044" if in_house else "TB045"])
                if rng.random() < 0.15:
                    # Refused with a message; the cell keeps its code.
                    out.append("cell %d %s %s" % (row, field, rng.choice(UNKNOWN_CODES)))
                    refusals += 1
                    continue
                if field == "TB042":
                    value = rng.choice(IN_HOUSE_TYPES + OUTSOURCED_TYPES)
                    # Another kind of type empties the field the new one cannot edit.
                    if (value in IN_HOUSE_TYPES) != in_house:
                        codes[row]["TB045" if in_house else "TB044"] = ""
                else:
                    value = rng.choice(WORK_CENTRES[factory] if in_house else SUPPLIERS)
                out.append("cell %d %s %s" % (row, field, value))
                # The same code again changes nothing: no step to undo.
                if before[row][field] != value:
                    codes[row][field] = value
                    step_taken(before)
                else:
                    codes[row] = before[row]
            elif kind == "link":
                box, on = rng.choice(["chkUp", "chkDown", "chkMPS"]), rng.random() < 0.5
                if box == "chkMPS" and not (up or down):
                    continue
                out.append("link %s %s" % (box, "on" if on else "off"))
                if box == "chkUp":
                    up = on
                elif box == "chkDown":
                    down = on
                else:
                    mps = on
                mps = mps and (up or down)
            elif kind == "drag":
                out.append("drag %d %d" % (row, rng.choice([-1, 1]) * rng.randint(1, 12)))
                moved.update(range(n))  # linkage may move any line
                step_taken([dict(c) for c in codes])
            elif kind == "stretch":
                # Only longer: a shorter bar loses days, and leaving it opens the daily editor until they add up.
                edge = rng.choice(["start", "stop"])
                out.append("stretch %d %s %d" % (row, edge, rng.randint(1, 3) * (-1 if edge == "start" else 1)))
                moved.update(range(n))
                step_taken([dict(c) for c in codes])
            elif kind == "key":
                out.append("key %d %s" % (row, rng.choice(["left", "right"])))
                moved.update(range(n))
                step_taken([dict(c) for c in codes])
            elif kind == "look":
                # What changes nothing stored: the other tab and back, another line, a column, an export.
                look = rng.choice(["tab", "select", "column", "export"])
                if look == "tab":
                    out += ["tab capacity", "tab schedule"]
                elif look == "select":
                    out.append("select %d" % row)
                elif look == "column":
                    out.append("column " + rng.choice(["TB042", "TB044C", "TB013", "TB026"]))
                else:
                    out.append("export %s %s" % (os.path.join(workdir, "export.png"), "window"))
            elif kind == "undo" and done:
                out.append(kind)
                undone.append(done.pop())
                codes = [dict(c) for c in undone[-1][0]]
                moved.update(range(n))
            elif kind == "redo" and undone:
                out.append(kind)
                done.append(undone.pop())
                codes = [dict(c) for c in done[-1][1]]
                moved.update(range(n))
    saving = rng.random() < 0.8
    if saving and rng.random() < 0.25:
        # Another planner saves the factory first: this save is refused and the planner cancels, which
        # reads what the other one saved.
        other = os.path.join(workdir, "other.script")
        with open(other, "w", encoding="utf-8") as f:
            f.write("%s\nedit\ndrag %d %d\nsave\nclose\n" % (query, rng.randrange(n), rng.choice([-2, 3])))
        out += ["client PLAN01 " + other, "answer yes", "save refused", "cancel"]
        saving = False
    else:
        out.append("save" if saving else "cancel")
    out += ["dump", "close"]
    return "\n".join(out) + "\n", refusals, saving


class Company:
    """The company database the sessions write: the installation's SQLite file, or a database of a
    PostgreSQL server (read through psql, values passed as psql variables, never in the SQL text)."""

    def __init__(self, sqlite_file=None, pg_port=None, pg_database=None):
        self.sqlite_file, self.pg_port, self.pg_database = sqlite_file, pg_port, pg_database

    def rows(self, sql, params=()):
        if self.sqlite_file:
            c = sqlite3.connect(self.sqlite_file)
            try:
                return [tuple(r) for r in c.execute(sql, params)]
            finally:
                c.close()
        # ? markers become psql variables :'p1', :'p2'... quoted by psql itself.
        parts = sql.split("?")
        text = parts[0] + "".join(":'p%d'%s" % (i + 1, part) for i, part in enumerate(parts[1:]))
        args = ["psql", "-X", "-q", "-A", "-t", "-F", "\t", "-h", "127.0.0.1", "-p", str(self.pg_port), "-U",
                "postgres", "-d", self.pg_database, "-v", "ON_ERROR_STOP=1"]
        for i, value in enumerate(params):
            args += ["-v", "p%d=%s" % (i + 1, value)]
        out = subprocess.run(args, input=text, capture_output=True, text=True, check=True).stdout
        return [tuple(None if v == "" else v for v in line.split("\t")) for line in out.splitlines() if line]


def number(v):
    return None if v is None else float(v)


def pick_query(rng, db, factory):
    """The query of a round: the whole factory, or its lines of one main resource or one source document."""
    kind = rng.random()
    if kind < 0.2:
        (resource,) = rng.choice(db.rows("SELECT DISTINCT TB036 FROM MPSTB WHERE TB001=? ORDER BY 1", (factory,)))
        return "query %s %s" % (factory, resource.strip())
    if kind < 0.4:
        doc = rng.choice(db.rows("SELECT DISTINCT TB051, TB004, TB005 FROM MPSTB WHERE TB001=? ORDER BY 1, 2, 3",
                                 (factory,)))
        return "query %s - %s" % (factory, "-".join(p.strip() for p in doc))
    return "query " + factory


def line_codes(db, lines):
    """Each row's work order type, work centre and supplier as stored."""
    codes = []
    for line in lines:
        found = db.rows("SELECT TB042, TB044, TB045 FROM MPSTB WHERE TB001=? AND TB003=? AND TB051=? AND TB004=? "
                        "AND TB005=? AND TB037=?", line.key)
        row = found[0] if found else ("", "", "")
        codes.append({k: (v or "").strip() for k, v in zip(("TB042", "TB044", "TB045"), row)})
    return codes


def check_database(db):
    """What must hold in the company after any save; a list of what does not."""
    problems = []
    for key, qty, start, stop, total, first, last in db.rows(
            "SELECT TB001||'-'||TB003||'-'||TB051||'-'||TB004||'-'||TB005||'-'||TB037, TB026, TB013, TB014, "
            "(SELECT SUM(TC007) FROM MPSTC WHERE TC001=TB001 AND TC002=TB003 AND TC009=TB051 AND TC003=TB004 "
            "AND TC004=TB005 AND TC005=TB037), "
            "(SELECT MIN(TC006) FROM MPSTC WHERE TC001=TB001 AND TC002=TB003 AND TC009=TB051 AND TC003=TB004 "
            "AND TC004=TB005 AND TC005=TB037), "
            "(SELECT MAX(TC006) FROM MPSTC WHERE TC001=TB001 AND TC002=TB003 AND TC009=TB051 AND TC003=TB004 "
            "AND TC004=TB005 AND TC005=TB037) FROM MPSTB WHERE MODIFIER <> ''"):
        qty, total = number(qty), number(total)
        if total is not None and abs(total - qty) > 1e-6:
            problems.append(f"line {key}: its days add up to {total:g}, its quantity is {qty:g}")
        # Days of no quantity are not stored: a bar may reach past its first and last stored day.
        if first is not None and not (start.strip() <= first and last <= stop.strip()):
            problems.append(f"line {key}: dates {start}..{stop}, days {first}..{last}")
    for row in db.rows(
            "SELECT TF001, TF002, TF004, TF011, TF005, TF006, TF007 FROM MPSTF F WHERE TF003 = '2' AND NOT EXISTS "
            "(SELECT 1 FROM MPSTC WHERE TC002 = TF004 AND TC009 = TF011 AND TC003 = TF005 AND TC004 = TF006 "
            "AND TC005 = TF007 AND TC006 = TF002 AND TC007 <> 0) LIMIT 5"):
        problems.append("plan row on a day its line has no quantity: " + "-".join(v.strip() for v in row))
    for res, day, td005, td007, s5, s7 in db.rows(
            "SELECT TD001, TD002, TD005, TD007, "
            "(SELECT COALESCE(SUM(TF008),0) FROM MPSTF WHERE TF001=TD001 AND TF002=TD002 AND TF003='2'), "
            "(SELECT COALESCE(SUM(TF009),0) FROM MPSTF WHERE TF001=TD001 AND TF002=TD002 AND TF003='2') "
            "FROM MPSTD WHERE MODIFIER <> '' OR CREATOR <> 'DS' OR FLAG <> 0"):
        td005, td007, s5, s7 = number(td005), number(td007), number(s5), number(s7)
        if abs(td005 - s5) > 1e-6 or abs(td007 - s7) > 1e-6:
            problems.append(f"load {res.strip()} {day.strip()}: {td005:g}/{td007:g}, "
                            f"its plan rows sum to {s5:g}/{s7:g}")
    return problems[:10]


def compare(expected, got):
    if len(expected) != len(got):
        return [f"{len(expected)} lines shown, {len(got)} listed by a new session"]
    diffs = []
    for a, b in zip(expected, got):
        if not a.same(b):
            diffs.append("shown  " + a.text())
            diffs.append("stored " + b.text())
    return diffs[:6]


def set_key(ini, key, value):
    with open(ini, encoding="utf-8") as f:
        lines = f.read().splitlines()
    with open(ini, "w", encoding="utf-8") as f:
        f.write("\n".join(key + "=" + value if l.startswith(key + "=") else l for l in lines) + "\n")


def run_seed(bindir, seed, rounds, steps, keep, demo_options, company_options, pg_port):
    """Demo options: of the installation; company options: of the company alone (no workstation)."""
    rng = random.Random(seed)
    work = tempfile.mkdtemp(prefix="fuzz-%d-" % seed)
    install = os.path.join(work, "demo")
    subprocess.run([os.path.join(bindir, "tarnix-demo"), install, "--seed", str(seed)] + demo_options, check=True,
                   capture_output=True)
    if pg_port:
        # The same company on the server, which the installation then names.
        database = "fuzz%d" % seed
        subprocess.run(["psql", "-X", "-q", "-h", "127.0.0.1", "-p", str(pg_port), "-U", "postgres", "-c",
                        'DROP DATABASE IF EXISTS "%s"' % database, "-c", 'CREATE DATABASE "%s"' % database],
                       check=True, capture_output=True)
        connect = ("Provider=SQLOLEDB.1;Password=;Persist Security Info=True;User ID=postgres;Initial Catalog=%s;"
                   "Data Source=pgsql:127.0.0.1:%d;Auto Translate=False;Connect Timeout=10" % (database, pg_port))
        subprocess.run([os.path.join(bindir, "tarnix-demo"), "--connect", connect, "--seed", str(seed)] +
                       company_options,
                       check=True, capture_output=True)
        ini = os.path.join(install, "StewardS.ini")
        set_key(ini, "MainServerName", "pgsql:127.0.0.1:%d" % pg_port)
        set_key(ini, "MainUserName", "postgres")
        set_key(ini, "MainDBName", database)
        db = Company(pg_port=pg_port, pg_database=database)
    else:
        db = Company(sqlite_file=os.path.join(install, "DEMO.db"))
    failures = 0
    factory = rng.choice(FACTORIES)
    for r in range(rounds):
        query = pick_query(rng, db, factory)
        rc, out, err = run_client(bindir, install, query + "\ndump\nclose\n", work)
        state = parse_dumps(out)
        if rc != 0 or not state:
            print(f"seed {seed} round {r}: FAILED, {query} listed no lines: {err.strip()[-300:]}")
            failures += 1
            keep = True
            break
        lines = state[-1]
        script, refusals, saving = make_round(rng, query, factory, lines, line_codes(db, lines), steps, work)
        rc, out, err = run_client(bindir, install, script, work, "round-%d" % r)
        problems = []
        last_err = err.strip().splitlines()[-1] if err.strip() else ""
        if rc is None or rc not in (0, 1):
            problems.append(f"the client ended with {rc}: {last_err}")
        elif rc == 1 and MARKER_OVER_GRIP.search(last_err):
            # The need-date marker lies over the edge: it cannot be taken there.
            print(f"seed {seed} round {r}: skipped, {last_err}")
            continue
        elif rc == 1:
            problems.append("a step failed: " + last_err)
        taken = [l for l in out.splitlines() if l.startswith("cell\t") and l.split("\t")[-1] in UNKNOWN_CODES]
        messages = sum(1 for l in out.splitlines() if l.startswith("message\terror\t"))
        if taken:
            problems.append("an unknown code was taken: " + taken[0])
        if messages < refusals:
            problems.append(f"{refusals} unknown codes, {messages} error messages")
        blocks = parse_dumps(out)
        shown = blocks[-1] if blocks else None
        rc2, out2, err2 = run_client(bindir, install, query + "\ndump\nclose\n", work)
        stored = parse_dumps(out2)
        if rc2 != 0 or not stored:
            problems.append("a new session could not list the lines: " + err2.strip()[-300:])
        else:
            if shown is not None:
                problems += compare(shown, stored[-1])
        problems += check_database(db)
        outcome = "save" if saving else "cancel"
        print(f"seed {seed} round {r}: {script.count(chr(10))} steps, {outcome}: "
              f"{'ok' if not problems else 'FAILED'}")
        if problems:
            failures += 1
            kept = os.path.join(work, "round-%d.script" % r)
            for p in problems:
                print("    " + p)
            print("    script: " + kept)
            keep = True
            break
    if not keep:
        shutil.rmtree(work, ignore_errors=True)
    return failures


class ThrowAwayServer:
    """A PostgreSQL server of this machine for the run, in a temporary folder, gone at the end."""

    def __init__(self):
        versions = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"))
        if not versions:
            raise RuntimeError("no PostgreSQL server binaries (initdb) are installed")
        self.bin = os.path.dirname(versions[-1])
        self.data = tempfile.mkdtemp(prefix="fuzz-pg-")
        if os.geteuid() == 0:
            shutil.chown(self.data, "postgres", "postgres")
        os.chmod(self.data, 0o700)
        self.run("initdb", "-D", self.data, "-A", "trust", "-U", "postgres", "-E", "UTF8", "--locale=C", "--no-sync")
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        self.run("pg_ctl", "-D", self.data, "-o", "-p %d -c listen_addresses=127.0.0.1 -k %s -c fsync=off"
                 % (self.port, self.data), "-l", os.path.join(self.data, "server.log"), "-w", "-t", "30", "start")

    def run(self, program, *args):
        command = [os.path.join(self.bin, program)] + list(args)
        if os.geteuid() == 0:
            command = ["runuser", "-u", "postgres", "--"] + command
        subprocess.run(command, check=True, capture_output=True)

    def stop(self):
        try:
            self.run("pg_ctl", "-D", self.data, "-m", "immediate", "-w", "stop")
        finally:
            shutil.rmtree(self.data, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("bindir", help="the folder of tarnix-client and tarnix-demo (build/bin)")
    ap.add_argument("--seeds", type=int, default=5)
    ap.add_argument("--first", type=int, default=1)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--steps", type=int, default=12)
    ap.add_argument("--keep", action="store_true")
    ap.add_argument("--lines", type=int, help="lines of the demo company (its default otherwise)")
    ap.add_argument("--ui-code-page", choices=["936", "950", "437"], help="the workstation's interface")
    ap.add_argument("--start", help="the demo company's first day, YYYYMMDD")
    ap.add_argument("--pg", type=int, metavar="PORT",
                    help="the company on the PostgreSQL server at 127.0.0.1:PORT (user postgres, no password)")
    ap.add_argument("--pg-server", action="store_true", help="the company on a throw-away PostgreSQL server")
    a = ap.parse_args()
    company_options = (["--lines", str(a.lines)] if a.lines else []) + (["--start", a.start] if a.start else [])
    demo_options = company_options + (["--ui-code-page", a.ui_code_page] if a.ui_code_page else [])
    server = ThrowAwayServer() if a.pg_server else None
    port = server.port if server else a.pg
    failed = 0
    try:
        for seed in range(a.first, a.first + a.seeds):
            if run_seed(a.bindir, seed, a.rounds, a.steps, a.keep, demo_options, company_options, port):
                failed += 1
    finally:
        if server:
            server.stop()
    print(f"{a.seeds} seeds, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
