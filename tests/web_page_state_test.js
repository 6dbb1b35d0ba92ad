// The web page's logic under node: the banner and reconnect state machine,
// the scan's progress, the disc list's staleness and the tabs of several
// changers. Argument: the path of clients/zubweb/page_state.js. Exits
// non-zero on the first wrong case.
"use strict";
const assert = require("assert");
const logic = require(process.argv[2]);

let failures = 0;
function check(name, run) {
  try {
    run();
    console.log("ok   " + name);
  } catch (e) {
    failures++;
    console.log("FAIL " + name + "\n" + e.message);
  }
}

// Runs events from the initial state; returns the states after each.
function run(events) {
  let state = logic.initialPageState();
  return events.map((event) => {
    state = logic.pageStateAfter(state, event);
    const shown = { view: state.view, text: logic.bannerText(state),
                    reconnectInMs: state.reconnectInMs };
    if (state.reconnectInMs >= 0) {
      state = logic.pageStateAfter(state, { type: "reconnecting" });
    }
    return shown;
  });
}

const live = { type: "status", reachable: true };
const down = { type: "status", reachable: false };
const failed = { type: "stream-error" };

check("banner and reconnect per event", () => {
  const cases = [
    { events: [], expect: [] },
    { events: [live], expect: [["live", "", -1]] },
    { events: [down], expect: [["unreachable", "controller not reachable", -1]] },
    // A failing stream is never blamed on the controller; the pause grows
    // 1 s, 2 s, 4 s, 8 s and stays at 10 s.
    { events: [failed, failed, failed, failed, failed, failed],
      expect: [["busy", "web remote busy, retrying", 1000], ["busy", "web remote busy, retrying", 2000],
               ["busy", "web remote busy, retrying", 4000], ["busy", "web remote busy, retrying", 8000],
               ["busy", "web remote busy, retrying", 10000], ["busy", "web remote busy, retrying", 10000]] },
    // Live again after a failure: the pause starts over at 1 s.
    { events: [failed, failed, live, failed],
      expect: [["busy", "web remote busy, retrying", 1000], ["busy", "web remote busy, retrying", 2000],
               ["live", "", -1], ["busy", "web remote busy, retrying", 1000]] },
    // zubweb reporting the controller down keeps the stream; a status
    // after it shows live at once.
    { events: [live, down, live],
      expect: [["live", "", -1], ["unreachable", "controller not reachable", -1], ["live", "", -1]] },
  ];
  for (const c of cases) {
    const got = run(c.events).map((s) => [s.view, s.text, s.reconnectInMs]);
    assert.deepStrictEqual(got, c.expect);
  }
  assert.strictEqual(logic.bannerText(logic.initialPageState()), "connecting\u2026");
});

check("scan progress and time left", () => {
  const status = (slot, scanning = true) =>
    ({ reachable: true, scanning: scanning, scan_slot: slot, scan_last_slot: 100,
       scan_first_slot: scanning ? 1 : 0 });
  let p = logic.scanProgress(null, status(11), 0);
  assert.deepStrictEqual(p.shown, { slot: 11, first: 1, last: 100, fraction: 0.1, leftSeconds: -1 });
  // 10 slots in 15 s: 1.5 s a slot, 80 slots to go from slot 21.
  p = logic.scanProgress(p.tracker, status(21), 15000);
  assert.strictEqual(p.shown.leftSeconds, 120);
  assert.strictEqual(p.shown.fraction, 0.2);
  // The end of the scan hides the bar; a new scan starts a new estimate.
  p = logic.scanProgress(p.tracker, status(100, false), 16000);
  assert.deepStrictEqual(p, { tracker: null, shown: null });
  p = logic.scanProgress(p.tracker, status(1), 20000);
  assert.strictEqual(p.shown.leftSeconds, -1);
  assert.strictEqual(logic.scanProgress(null, { reachable: false }, 0).shown, null);
});

check("scan progress of a range of slots", () => {
  // Each case: statuses [slot, last, first from zubweb (0: none), at ms] in
  // turn, and what the last one shows as [first, fraction, leftSeconds].
  const cases = [
    // scan 40 60 starts at nothing done, whatever slot 40's place in the magazine.
    { steps: [[40, 60, 40, 0]], expect: [40, 0, -1] },
    { steps: [[40, 60, 40, 0], [50, 60, 40, 20000]], expect: [40, 10 / 21, 22] },
    // A page opened mid-range counts from zubweb's first slot, its time
    // left from its own first sight.
    { steps: [[50, 60, 40, 0], [52, 60, 40, 4000]], expect: [40, 12 / 21, 18] },
    // Without zubweb's first slot, from the first slot this page saw.
    { steps: [[50, 60, 0, 0], [55, 60, 0, 5000]], expect: [50, 5 / 11, 6] },
    // A single slot.
    { steps: [[7, 7, 7, 0]], expect: [7, 0, -1] },
    // A first slot past the current one is not believed.
    { steps: [[45, 60, 50, 0]], expect: [45, 0, -1] },
    // Another range right after: a new first slot and a new estimate.
    { steps: [[40, 60, 40, 0], [58, 60, 40, 18000], [72, 80, 70, 19000]], expect: [70, 2 / 11, -1] },
    { steps: [[40, 60, 40, 0], [58, 60, 40, 18000], [10, 60, 10, 19000]], expect: [10, 0, -1] },
  ];
  for (const c of cases) {
    let p = { tracker: null };
    for (const [slot, last, first, at] of c.steps) {
      p = logic.scanProgress(p.tracker, { reachable: true, scanning: true, scan_slot: slot,
                                          scan_last_slot: last, scan_first_slot: first }, at);
    }
    assert.deepStrictEqual([p.shown.first, p.shown.fraction, p.shown.leftSeconds], c.expect,
                           JSON.stringify(c.steps));
  }
});

check("disc list reloads when the generation changes", () => {
  const cases = [
    [null, { reachable: true, magazine_generation: 0 }, true],
    [3, { reachable: true, magazine_generation: 3 }, false],
    [3, { reachable: true, magazine_generation: 4 }, true],
    [3, { reachable: false }, false],
  ];
  for (const [listed, status, stale] of cases) {
    assert.strictEqual(logic.discsStale(listed, status), stale, JSON.stringify([listed, status]));
  }
});

check("each tab's routes, the event's tab and the address's tab", () => {
  assert.deepStrictEqual(logic.changerPaths(-1),
    { events: "/api/events", discs: "/api/discs", command: "/api/command", scan: "/api/scan",
      allEvents: "/api/changers/events" });
  assert.deepStrictEqual(logic.changerPaths(1),
    { events: "/api/changers/1/events", discs: "/api/changers/1/discs",
      command: "/api/changers/1/command", scan: "/api/changers/1/scan",
      allEvents: "/api/changers/events" });
  const events = [
    [{ changer: 0, reachable: true }, 2, 0],
    [{ changer: 1, reachable: false }, 2, 1],
    [{ changer: 2 }, 2, -1],
    [{ changer: -1 }, 2, -1],
    [{ changer: 1.5 }, 2, -1],
    [{ changer: "1" }, 2, -1],
    [{ reachable: true }, 2, -1],
    [null, 2, -1],
  ];
  for (const [status, count, tab] of events) {
    assert.strictEqual(logic.changerOfEvent(status, count), tab, JSON.stringify(status));
  }
  const hashes = [
    ["", 3, 0], ["#changer-2", 3, 2], ["#changer-3", 3, 0], ["#changer-02", 3, 0],
    ["#changer-", 3, 0], ["#changer-1x", 3, 0], ["#other", 3, 0], [undefined, 3, 0],
  ];
  for (const [hash, count, tab] of hashes) {
    assert.strictEqual(logic.tabFromHash(hash, count), tab, String(hash));
  }
});

check("names routes, edits, styles and track lines", () => {
  const paths = [
    [[-1, "filter", ""], "/api/discs"],
    [[-1, "filter", "  "], "/api/discs"],
    [[-1, "filter", " Blue Note "], "/api/discs?q=Blue%20Note"],
    [[2, "filter", "a&b=c#"], "/api/changers/2/discs?q=a%26b%3Dc%23"],
    [[-1, "tracks", 7], "/api/discs/7/tracks"],
    [[1, "disc", 7], "/api/changers/1/discs/7"],
    [[1, "track", 7, 3], "/api/changers/1/discs/7/tracks/3"],
    [[-1, "random"], "/api/random"],
    [[2, "styles"], "/api/changers/2/styles"],
    [[-1, "history", 5], "/api/history?limit=5"],
    [[-1, "history", 0], "/api/history?limit=20"],
    [[-1, "history", 500], "/api/history?limit=20"],
    [[-1, "history", -3], "/api/history?limit=1"],
    [[0, "history", "x"], "/api/changers/0/history?limit=20"],
  ];
  for (const [args, path] of paths) {
    assert.strictEqual(logic.namesPath(...args), path, JSON.stringify(args));
  }
  const disc = ["artist", "title", "style"];
  const edits = [
    [{ artist: "A", title: "T" }, { artist: "A", title: "T", style: "" }, disc, null],
    [{ artist: "A", title: "T" }, { artist: "B", title: "T", style: "" }, disc, { artist: "B" }],
    [{ artist: "A" }, { artist: "", style: "Jazz" }, disc, { artist: "", style: "Jazz" }],
    [{ title: "X", style: "S" }, { title: "X" }, ["title", "style"], null],
    [null, { title: "New" }, ["title", "style"], { title: "New" }],
  ];
  for (const [shown, edited, fields, changed] of edits) {
    assert.deepStrictEqual(logic.changedNames(shown, edited, fields), changed,
                           JSON.stringify([shown, edited]));
  }
  assert.deepStrictEqual(logic.styleChoices([], []), []);
  assert.deepStrictEqual(
    logic.styleChoices([{ style: "jazz" }, { style: "" }, { style: "Dub" }],
                       [{ style: "Jazz", tracks: [{ style: "ambient" }, { style: "DUB" }] }, null]),
    ["ambient", "Dub", "jazz"]);
  assert.deepStrictEqual(logic.styleChoices([{ style: "Dub" }], [], ["dub", "Rock"]),
                         ["dub", "Rock"]);
  assert.deepStrictEqual(logic.randomRequest(-1, ""),
                         { path: "/api/command", body: { command: "shuffle" } });
  assert.deepStrictEqual(logic.randomRequest(1, "Jazz"),
                         { path: "/api/changers/1/random", body: { style: "Jazz" } });
  const lines = [
    [{ track: 3, title: "", style: "", plays: 0 }, "3."],
    [{ track: 3, title: "Intro", style: "", plays: 1 }, "3. Intro \u00b7 1 play"],
    [{ track: 12, title: "Blues", style: "Dub", plays: 4 }, "12. Blues [Dub] \u00b7 4 plays"],
  ];
  for (const [track, text] of lines) {
    assert.strictEqual(logic.trackText(track), text);
  }
});

process.exit(failures === 0 ? 0 : 1);
