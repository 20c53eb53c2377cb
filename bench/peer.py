"""The peer of the workbook benchmarks: the same reads, and the same change and save, done with
openpyxl on the same file.

    /usr/bin/python3 bench/peer.py BENCH.xlsx [ZALVIK_RESULTS.json]

With the JSON that zalvik-bench wrote (--benchmark_out), it prints both sets of figures and the
ratios against the targets."""
import json
import statistics
import sys
import time

import openpyxl

COMPETITORS, GATES = 999, 12


def read_competitors(path):
    wb = openpyxl.load_workbook(path)
    ws = wb.worksheets[0]
    for r in range(2, COMPETITORS + 2):
        for c in range(1, 21):
            ws.cell(r, c).value
    for r in range(1, 14):
        for c in range(21, 29):
            ws.cell(r, c).value
    return wb


def register_and_save(wb, path, i):
    ws = wb.worksheets[0]
    r = 2 + (i * 3) % COMPETITORS
    ws.cell(r, 5).number_format = "0.00"
    ws.cell(r, 5).value = 61.5
    ws.cell(r, 6).value = 48
    ws.cell(r, 7).number_format = "0.00"
    ws.cell(r, 7).value = 128.13
    ws.cell(r, 8).value = 0
    for g in range(GATES):
        ws.cell(r, 9 + g).value = str(2 + g % 5)
    wb.save(path)


def median_ms(fn, runs):
    times = []
    for i in range(runs):
        t0 = time.perf_counter()
        fn(i)
        times.append((time.perf_counter() - t0) * 1000)
    return statistics.median(times)


def main():
    path = sys.argv[1]
    read_ms = median_ms(lambda i: read_competitors(path), 5)
    wb = read_competitors(path)
    save_ms = median_ms(lambda i: register_and_save(wb, path, i), 5)
    print(f"peer (openpyxl {openpyxl.__version__}): open and read competitors {read_ms:.1f} ms, "
          f"change one row and save {save_ms:.1f} ms")
    if len(sys.argv) < 3:
        return
    with open(sys.argv[2]) as f:
        ours = {b["name"].split("/")[0]: b["real_time"] for b in json.load(f)["benchmarks"]
                if b.get("run_type", "iteration") == "iteration"}
    rows = [("open and read competitors", "BM_OpenAndReadCompetitors", read_ms, None, None),
            ("load a competition", "BM_LoadCompetition", read_ms, 50, 10),
            ("write one row and save", "BM_RegisterRowAndSave", save_ms, None, None),
            ("register one result", "BM_RegisterResult", save_ms, 15, 20),
            ("results sheet of 999 and save", "BM_ResultsSheetOf999", None, 60, None)]
    print(f"{'work':31} {'zalvik':>10} {'peer':>10} {'ratio':>8}   target")
    for label, name, peer, limit, factor in rows:
        mine = ours.get(name)
        if mine is None:
            continue
        ratio = peer / mine if peer else None
        ok = (limit is None or mine < limit) and (factor is None or ratio >= factor)
        target = " and ".join(t for t in [f"under {limit} ms" if limit else "",
                                           f"{factor}x faster" if factor else ""] if t)
        print(f"{label:31} {mine:8.2f}ms " + (f"{peer:8.1f}ms {ratio:7.1f}x" if peer else f"{'':19}") +
              (f"   {target}: {'ok' if ok else 'MISSED'}" if target else ""))


if __name__ == "__main__":
    main()
