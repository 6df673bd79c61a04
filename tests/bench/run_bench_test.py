#!/usr/bin/python3
"""Tests of scripts/run-bench: goal rows, figures and verdicts, and the document merge."""

import sys
import types
import unittest
from pathlib import Path

# The script has no .py suffix, so it is loaded as source into a module of its own.
SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "run-bench"
run_bench = types.ModuleType("run_bench")
run_bench.__file__ = str(SCRIPT)
sys.modules["run_bench"] = run_bench
exec(compile(SCRIPT.read_text(), str(SCRIPT), "exec"), run_bench.__dict__)


def timed(ms, **counters):
    return dict({"real_time": ms, "time_unit": "ms"}, **counters)


def goal(ours, theirs, text, peer="peer"):
    row = run_bench.parse_goal_row("\t".join(["metric", ours, theirs, peer, text]))
    assert isinstance(row, dict), row
    return row


class GoalRows(unittest.TestCase):
    def test_malformed_rows_are_refused(self):
        for line in ["a\tb\tc\td",                      # four fields
                     "a\tb\tc\td\te\tf",                # six
                     "a\tb\tc\td\tfaster",              # no bound
                     "a\t\tc\td\t<=1x",                 # empty field
                     "a\tcallgrind:Only\t-\t-\t<=5",    # callgrind without a function
                     "a\t:counter\t-\t-\t<=5"]:         # counter without a benchmark
            self.assertIsNone(run_bench.parse_goal_row(line), line)

    def test_comments_and_blank_lines_are_skipped(self):
        self.assertEqual(run_bench.parse_goal_row("# metric\tours"), "skip")
        self.assertEqual(run_bench.parse_goal_row("   "), "skip")

    def test_bounds_are_relative_with_x_or_without_an_operator(self):
        self.assertEqual(run_bench.parse_goal(">=0.8x"),
                         {"op": ">=", "bound": 0.8, "relative": True})
        self.assertEqual(run_bench.parse_goal("1.5"), {"op": "<=", "bound": 1.5, "relative": True})
        self.assertEqual(run_bench.parse_goal("<=67108864"),
                         {"op": "<=", "bound": 67108864.0, "relative": False})
        self.assertIsNone(run_bench.parse_goal("<=1.2.3x"))

    def test_references(self):
        self.assertEqual(run_bench.parse_reference("Post:items_per_second"),
                         ("counter", "Post", "items_per_second"))
        self.assertEqual(run_bench.parse_reference("Encode/1"), ("time", "Encode/1", None))
        self.assertEqual(run_bench.parse_reference("callgrind:Encode:encodeOnce"),
                         ("callgrind", "Encode", "encodeOnce"))


class Figures(unittest.TestCase):
    def runs(self, entries):
        return run_bench.collect_runs(entries)

    def test_median_with_min_and_max_of_the_repetitions(self):
        runs = self.runs([dict(timed(t), name="A/real_time", run_name="A/real_time",
                               run_type="iteration") for t in (3, 1, 2, 10, 4)]
                         + [{"name": "A_median", "run_name": "A/real_time",
                             "run_type": "aggregate", "real_time": 99, "time_unit": "ms"}])
        figure = run_bench.figure("A", runs, {})
        self.assertEqual(figure["value"], 3e6)
        self.assertEqual(figure["text"], "3 ms (1 ms-10 ms)")

    def test_names_lose_the_settings_google_benchmark_appends(self):
        for name in ["Post/min_time:2.000/real_time", "Post/iterations:1", "Post/manual_time"]:
            self.assertEqual(run_bench.benchmark_name({"name": name}), "Post")
        self.assertEqual(run_bench.benchmark_name({"name": "Json/1/real_time"}), "Json/1")

    def test_failed_repetitions_are_left_out_and_all_failed_says_why(self):
        entries = [dict(timed(5), run_name="B", name="B"),
                   {"run_name": "B", "name": "B", "error_occurred": True,
                    "error_message": "server gone", "real_time": 0, "time_unit": "ms"}]
        self.assertEqual(run_bench.figure("B", self.runs(entries), {})["value"], 5e6)
        failed = self.runs(entries[1:])
        self.assertEqual(run_bench.figure("B", failed, {}), {"missing": "failed: server gone"})

    def test_counters_and_absent_counters(self):
        runs = self.runs([dict(timed(1), name="C", items_per_second=v) for v in (900, 1100, 1000)])
        self.assertEqual(run_bench.figure("C:items_per_second", runs, {})["value"], 1000)
        self.assertIn("missing", run_bench.figure("C:p99_us", runs, {}))
        self.assertIn("missing", run_bench.figure("D", runs, {}))

    def test_counters_are_shown_in_their_own_units(self):
        self.assertEqual(run_bench.format_counter(175000, "p99_us"), "175 ms")
        self.assertEqual(run_bench.format_counter(2.5e6, "items_per_second"), "2.5 M/s")
        self.assertEqual(run_bench.format_counter(16400, "raw_curl_per_second"), "16.4 k/s")
        self.assertEqual(run_bench.format_counter(3, "frames"), "3 frames")
        self.assertEqual(run_bench.format_counter(4690, "bytes_per_connection"), "4.58 KiB")
        self.assertEqual(run_bench.format_counter(475, "peak_bytes"), "475 B")
        runs = self.runs([dict(timed(9), name="E", cpu_time=2)])
        self.assertEqual(run_bench.figure("E:cpu_time", runs, {}),
                         {"value": 2e6, "text": "2 ms CPU (2 ms CPU-2 ms CPU)"})

    def test_callgrind_total_prefers_totals_over_summary(self):
        text = "events: Ir\nsummary: 500\nfn=f\n1 2\ntotals: 1234 7\n"
        self.assertEqual(run_bench.read_callgrind_total(text), 1234)
        self.assertEqual(run_bench.read_callgrind_total("summary: 99\n"), 99)
        self.assertIsNone(run_bench.read_callgrind_total("events: Ir\n"))


class Verdicts(unittest.TestCase):
    runs = run_bench.collect_runs([
        dict(timed(2), name="Ours", items_per_second=800.0),
        dict(timed(4), name="Theirs", items_per_second=1000.0),
    ])

    def verdict(self, row, instructions=None):
        return run_bench.table_rows([row], self.runs, instructions or {})[0]

    def test_time_ratio_against_the_peer(self):
        row = self.verdict(goal("Ours", "Theirs", "<=0.5x"))
        self.assertEqual(row[3:], ["0.50x", "<=0.5x", "yes"])
        self.assertEqual(self.verdict(goal("Ours", "Theirs", "<=0.49x"))[5], "no")

    def test_rate_ratio_must_reach_the_bound(self):
        row = self.verdict(goal("Ours:items_per_second", "Theirs:items_per_second", ">=0.8x"))
        self.assertEqual(row[3:], ["0.80x", ">=0.8x", "yes"])
        self.assertEqual(self.verdict(
            goal("Ours:items_per_second", "Theirs:items_per_second", ">=0.81x"))[5], "no")

    def test_counters_of_one_benchmark_keep_their_pairing(self):
        # Each repetition's rates were taken side by side: 0.9, 0.8, 0.85 of the peer's. The
        # medians alone (1000 against 1100) would say 0.91.
        runs = run_bench.collect_runs([
            dict(timed(1), name="Turns", ours=900.0, peer=1000.0),
            dict(timed(1), name="Turns", ours=1000.0, peer=1250.0),
            dict(timed(1), name="Turns", ours=1020.0, peer=1200.0),
            dict(timed(1), name="Turns", ours=1.0),  # the peer's counter is missing here
        ])
        row = run_bench.table_rows([goal("Turns:ours", "Turns:peer", ">=0.86x")], runs, {})[0]
        self.assertEqual(row[3:], ["0.85x", ">=0.86x", "no"])

    def test_absolute_goal_judges_our_figure_alone(self):
        row = self.verdict(goal("Ours:items_per_second", "-", ">=801", peer="-"))
        self.assertEqual(row[2:], ["-", "-", ">=801", "no"])

    def test_a_missing_side_is_never_met(self):
        row = self.verdict(goal("Ours", "Nobody", ">=0x"))
        self.assertEqual(row[2:], ["peer: missing", "-", ">=0x", "no"])

    def test_instruction_counts(self):
        counts = {("Ours", "mine"): (2.0e6, None), ("Theirs", "theirs"): (None, "no calls")}
        row = self.verdict(goal("callgrind:Ours:mine", "callgrind:Theirs:theirs", "<=1x"),
                           counts)
        self.assertEqual(row[1:3], ["2 Minstr", "peer: no calls"])
        self.assertEqual(row[5], "no")


class DocumentMerge(unittest.TestCase):
    prose = "## Core\n\nHand-written prose.\n\n| a | b |\n|---|---|\n| 1 | 2 |\n"

    def section(self, text):
        return f"{run_bench.BEGIN_MARK}\n{text}\n{run_bench.END_MARK}"

    def test_first_run_goes_before_the_first_section(self):
        merged = run_bench.merge_results("# Performance\n\nIntro.\n\n" + self.prose,
                                         self.section("table 1"))
        self.assertEqual(merged, "# Performance\n\nIntro.\n\n" + self.section("table 1") +
                         "\n\n" + self.prose)

    def test_later_runs_replace_only_the_generated_part(self):
        once = run_bench.merge_results("# Performance\n\n" + self.prose, self.section("old"))
        twice = run_bench.merge_results(once, self.section("new"))
        self.assertNotIn("old", twice)
        self.assertEqual(twice.replace("new", "old"), once)
        self.assertTrue(twice.endswith(self.prose))

    def test_a_document_without_sections_gets_the_table_at_its_end(self):
        self.assertEqual(run_bench.merge_results("# Performance\n", self.section("t")),
                         "# Performance\n\n" + self.section("t") + "\n")

    def test_the_table_escapes_pipes_in_cells(self):
        table = run_bench.markdown_table([["a|b", "1", "-", "-", "<=1x", "yes"]])
        self.assertIn("| a\\|b | 1 |", table)


if __name__ == "__main__":
    sys.exit(unittest.main())
