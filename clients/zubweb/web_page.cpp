// The web remote's page. It reads the event stream for the status, the disc
// list, and posts the buttons and the rescans: for one changer on the
// routes of one (/api/events, /api/discs, /api/command, /api/scan), for
// several with a tab each, over /api/changers/events and
// /api/changers/K/....
#include "clients/zubweb/web_page.h"

#include <string>

#include "clients/zubweb/web_json.h"
#include "page_state_js.h"

namespace {

const char kHead[] = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>ZUB CD Changer</title>
<style>
  * { box-sizing: border-box; }
  body { margin: 0; font: 16px/1.4 system-ui, sans-serif; background: #f2f2ef; color: #222; }
  main { max-width: 40rem; margin: 0 auto; padding: 0.75rem; }
  h1 { font-size: 1.1rem; margin: 0 0 0.5rem; }
  .card { background: #fff; border-radius: 0.5rem; padding: 0.75rem; margin-bottom: 0.75rem;
          box-shadow: 0 1px 2px rgba(0,0,0,0.15); }
  .state { font-weight: bold; color: #fff; background: #b3261e; border-radius: 0.4rem;
           padding: 0.5rem 0.75rem; margin-bottom: 0.75rem; }
  .state[hidden] { display: none; }
  .artist { font-size: 1.25rem; font-weight: bold; overflow-wrap: anywhere; }
  .title { font-size: 1.1rem; overflow-wrap: anywhere; }
  .small { color: #555; font-size: 0.9rem; }
  .buttons { display: grid; grid-template-columns: repeat(5, 1fr); gap: 0.4rem; }
  button { font: inherit; min-height: 2.75rem; border: 0; border-radius: 0.4rem;
           background: #2f5d8a; color: #fff; padding: 0 0.3rem; }
  button:active { background: #1d3d5c; }
  button:disabled { background: #999; }
  .discs { list-style: none; margin: 0; padding: 0; }
  .discs li { display: flex; align-items: center; gap: 0.5rem; padding: 0.4rem 0;
              border-top: 1px solid #e4e4e0; }
  .discs li:first-child { border-top: 0; }
  .discs .slot { width: 2.2rem; text-align: right; font-weight: bold; flex: none; }
  .discs .what { flex: 1; min-width: 0; overflow-wrap: anywhere; }
  .discs button { width: 3rem; flex: none; }
  .discs li.playing { background: #e3eef8; }
  .message { min-height: 1.2em; color: #b3261e; }
  .scan[hidden] { display: none; }
  .scan-bar { height: 0.6rem; background: #e4e4e0; border-radius: 0.3rem; overflow: hidden;
              margin-top: 0.3rem; }
  .scan-fill { height: 100%; width: 0; background: #2f5d8a; }
  .tabs { display: flex; flex-wrap: wrap; gap: 0.4rem; margin-bottom: 0.75rem; }
  .tabs button { flex: none; max-width: 100%; overflow-wrap: anywhere; background: #c9d3dc;
                 color: #222; padding: 0 0.75rem; }
  .tabs button[aria-selected="true"] { background: #2f5d8a; color: #fff; }
  .tabs button[data-view="unreachable"], .tabs button[data-view="busy"] {
    box-shadow: inset 0 -0.25rem 0 #b3261e; }
</style>
</head>
<body>
<main>
  <h1>ZUB CD Changer</h1>
)page";

// One changer's part: the whole page for one, a tab's for several.
const char kPanel[] = R"page(  <div id="state" class="state">connecting&hellip;</div>
  <section class="card scan" id="scan" hidden>
    <div id="scan-text" class="scan-text">Scanning</div>
    <div id="scan-bar" class="scan-bar"><div id="scan-fill" class="scan-fill"></div></div>
  </section>
  <section class="card" id="now">
    <div id="where" class="where">Disc &ndash; Track &ndash;</div>
    <div id="artist" class="artist">&nbsp;</div>
    <div id="title" class="title">&nbsp;</div>
    <div id="times" class="small times"></div>
    <div id="status" class="small status"></div>
    <div id="next" class="small next"></div>
  </section>
  <section class="card">
    <div class="buttons">
      <button id="play" data-command="play">Play</button>
      <button id="pause" data-command="pause">Pause</button>
      <button id="stop" data-command="stop">Stop</button>
      <button id="next-button" data-command="next">Next</button>
      <button id="random" data-command="shuffle">Random</button>
    </div>
    <div id="message" class="message"></div>
  </section>
  <section class="card">
    <h1>Discs</h1>
    <button id="rescan-all" class="rescan-all">Rescan all</button>
    <ul id="discs" class="discs"><li class="small">no discs listed yet</li></ul>
  </section>
)page";

const char kTabs[] = R"page(  <nav id="tabs" class="tabs" role="tablist"></nav>
  <template id="panel">
)page";

const char kTabsEnd[] = "  </template>\n";

const char kScriptStart[] = "</main>\n<script>\n";

// The page's script after its logic (kPageStateJs).
const char kPageScript[] = R"page(
const MODES = { "play": "playing", "pause": "paused", "stop": "stopped", "unloaded": "unloaded",
                "shuffle": "random play", "whole-disc": "whole disc" };

function clock(seconds) {
  const s = Math.max(0, seconds | 0);
  return Math.floor(s / 60) + ":" + String(s % 60).padStart(2, "0");
}

// One changer's part of the page: its sections under root, its routes in
// paths. Returns render (a status event), step (a page state event; gives
// the state after it) and the view shown.
function changerView(root, paths, onView) {
  const $ = (name) => root.querySelector("." + name);
  let page = initialPageState();
  let reachable = false;
  let discs = [];
  let discsGeneration = null;
  let discsLoading = false;
  let current = null;
  let scan = null;

  function setText(name, text) { $(name).textContent = text; }

  function showPage() {
    const text = bannerText(page);
    $("state").hidden = text === "";
    setText("state", text);
    reachable = page.view === "live";
    root.querySelectorAll("button").forEach((b) => { b.disabled = !reachable; });
    onView(page.view);
  }

  function step(event) {
    page = pageStateAfter(page, event);
    showPage();
    return page;
  }

  function renderScan(s) {
    const progress = scanProgress(scan, s, Date.now());
    scan = progress.tracker;
    const shown = progress.shown;
    $("scan").hidden = !shown;
    if (!shown) { return; }
    let text = "Scanning slot " + shown.slot + " of " + shown.last;
    text += shown.leftSeconds >= 0 ? " \u00b7 about " + clock(shown.leftSeconds) + " left"
                                   : " \u00b7 estimating time left";
    setText("scan-text", text);
    $("scan-fill").style.width = (shown.fraction * 100).toFixed(1) + "%";
  }

  function render(s) {
    current = s;
    step({ type: "status", reachable: !!s.reachable });
    renderScan(s);
    if (!s.reachable) { return; }
    setText("where", "Disc " + s.disc + " \u00b7 Track " + s.track + " \u00b7 Index " + s.index);
    setText("artist", s.artist || "\u00a0");
    setText("title", s.title || "\u00a0");
    setText("times", "Track " + clock(s.track_time) + " \u00b7 Disc " + clock(s.disc_time) +
            " \u00b7 Autopause " + (s.autopause ? "on" : "off"));
    setText("status", "Changer: " + s.status + (s.answering ? "" : " (not answering)") +
            " \u00b7 " + (MODES[s.mode] || s.mode));
    setText("next", s.next ? "Next: disc " + s.next.disc + " track " + s.next.track +
            " (" + (s.playlist_pos + 1) + " of " + s.playlist_count + ")" : "Next: none");
    markPlaying();
    if (discsStale(discsGeneration, s)) {
      loadDiscs(s.magazine_generation);
    }
  }

  function markPlaying() {
    root.querySelectorAll(".discs li").forEach((li) => {
      li.classList.toggle("playing", !!current && li.dataset.slot === String(current.disc));
    });
  }

  function renderDiscs() {
    const list = $("discs");
    list.textContent = "";
    if (discs.length === 0) {
      const li = document.createElement("li");
      li.className = "small";
      li.textContent = "no discs: press Scan on the controller";
      list.appendChild(li);
      return;
    }
    for (const d of discs) {
      const li = document.createElement("li");
      li.dataset.slot = String(d.slot);
      li.dataset.id = d.id;  // what the row shows of the magazine, for a test to read
      li.dataset.discTime = String(d.disc_time);
      const slot = document.createElement("span");
      slot.className = "slot";
      slot.textContent = d.slot;
      const what = document.createElement("span");
      what.className = "what";
      what.textContent = d.artist + " \u2013 " + d.title;
      const time = document.createElement("span");
      time.className = "small";
      time.textContent = clock(d.disc_time);
      const play = document.createElement("button");
      play.textContent = "\u25b6";
      play.title = "Play disc " + d.slot;
      play.setAttribute("aria-label", "Play disc " + d.slot);
      play.disabled = !reachable;
      play.addEventListener("click", () => send({ command: "disc", disc: d.slot }));
      const rescan = document.createElement("button");
      rescan.textContent = "\u21bb";
      rescan.title = "Rescan slot " + d.slot;
      rescan.setAttribute("aria-label", "Rescan slot " + d.slot);
      rescan.disabled = !reachable;
      rescan.addEventListener("click", () => send({ first: d.slot }, paths.scan));
      li.append(slot, what, time, play, rescan);
      list.appendChild(li);
    }
    markPlaying();
  }

  // Reads the disc list once for the magazine generation given; a newer
  // generation seen meanwhile asks again with the next status.
  async function loadDiscs(generation) {
    if (discsLoading) { return; }
    discsLoading = true;
    try {
      const reply = await fetch(paths.discs);
      if (reply.ok) {
        discs = await reply.json();
        discsGeneration = generation;
        renderDiscs();
      }
    } catch (e) { /* the event stream shows the state */ }
    discsLoading = false;
  }

  async function send(body, path = paths.command) {
    setText("message", "");
    try {
      const reply = await fetch(path, {
        method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body)
      });
      const answer = await reply.json().catch(() => ({}));
      if (!reply.ok) {
        setText("message", answer.error || "failed (" + reply.status + ")");
      } else if (answer.waiting) {
        setText("message", answer.waiting);
      }
    } catch (e) {
      setText("message", "the web remote does not answer");
    }
  }

  root.querySelectorAll("button[data-command]").forEach((b) => {
    b.addEventListener("click", () => send({ command: b.dataset.command }));
  });
  $("rescan-all").addEventListener("click", () => send({}, paths.scan));
  showPage();
  return { render: render, step: step };
}

// A browser does not retry an event stream after an answer other than 200;
// the page retries by itself, with a growing pause. onError gives the
// state after the failure.
function openEvents(path, onStatus, onError) {
  const connect = () => {
    const events = new EventSource(path);
    events.onmessage = (e) => {
      let s;
      try { s = JSON.parse(e.data); } catch (x) { return; }
      onStatus(s);
    };
    events.onerror = () => {
      events.close();
      const state = onError();
      if (state.reconnectInMs >= 0) {
        setTimeout(connect, state.reconnectInMs);
      }
    };
  };
  connect();
}

function startOne() {
  const view = changerView(document.querySelector("main"), changerPaths(-1), () => {});
  openEvents(changerPaths(-1).events, view.render, () => {
    const state = view.step({ type: "stream-error" });
    view.step({ type: "reconnecting" });
    return state;
  });
}

// A tab per changer over one event stream for all.
function startTabs(names) {
  const tabs = document.getElementById("tabs");
  const template = document.getElementById("panel");
  const panels = [];
  const buttons = [];
  const select = (k) => {
    panels.forEach((p, i) => { p.hidden = i !== k; });
    buttons.forEach((b, i) => { b.setAttribute("aria-selected", String(i === k)); });
  };
  const views = names.map((name, k) => {
    const panel = document.createElement("div");
    panel.id = "changer-" + k;
    panel.setAttribute("role", "tabpanel");
    panel.appendChild(template.content.cloneNode(true));
    panel.querySelectorAll("[id]").forEach((e) => e.removeAttribute("id"));
    document.querySelector("main").appendChild(panel);
    const tab = document.createElement("button");
    tab.id = "tab-" + k;
    tab.setAttribute("role", "tab");
    tab.textContent = name;
    tab.addEventListener("click", () => {
      select(k);
      history.replaceState(null, "", "#changer-" + k);
    });
    tabs.appendChild(tab);
    panels.push(panel);
    buttons.push(tab);
    return changerView(panel, changerPaths(k), (shown) => { tab.dataset.view = shown; });
  });
  select(tabFromHash(location.hash, names.length));
  let stream = initialPageState();
  openEvents(changerPaths(-1).allEvents, (s) => {
    stream = pageStateAfter(stream, { type: "status", reachable: true });
    const k = changerOfEvent(s, views.length);
    if (k >= 0) { views[k].render(s); }
  }, () => {
    stream = pageStateAfter(stream, { type: "stream-error" });
    const state = stream;
    stream = pageStateAfter(stream, { type: "reconnecting" });
    views.forEach((v) => { v.step({ type: "stream-error" }); });
    return state;
  });
}

if (CHANGER_NAMES.length > 1) {
  startTabs(CHANGER_NAMES);
} else {
  startOne();
}
</script>
</body>
</html>
)page";

std::string Page(const std::vector<std::string>& changerNames) {
    const bool tabs = changerNames.size() > 1;
    std::string names = tabs ? ScriptJsonTexts(changerNames) : "[]";
    return std::string(kHead) + (tabs ? kTabs : "") + kPanel + (tabs ? kTabsEnd : "") +
           kScriptStart + "const CHANGER_NAMES = " + names + ";\n" + kPageStateJs + kPageScript;
}

}  // namespace

const std::string& WebPageHtml() {
    static const std::string page = Page({});
    return page;
}

std::string WebPageHtml(const std::vector<std::string>& changerNames) {
    return changerNames.size() > 1 ? Page(changerNames) : WebPageHtml();
}
