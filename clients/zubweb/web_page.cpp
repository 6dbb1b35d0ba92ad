// The web remote's page. It reads the event stream for the status, the disc
// list (filtered as typed), a disc's tracks and the play history, and posts
// the buttons, the rescans, the names edited and Random with a style: for one changer on the
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
  .filter { font: inherit; width: 100%; margin: 0.5rem 0; padding: 0.4rem; }
  .discs li.detail { display: block; background: #f7f7f4; padding: 0.4rem; border-top: 0; }
  .discs .what { cursor: pointer; }
  .tracks { list-style: none; margin: 0; padding: 0; }
  .tracks li { border-top: 0; padding: 0.15rem 0; }
  .edit { display: grid; grid-template-columns: 1fr 1fr; gap: 0.3rem; margin-top: 0.4rem; }
  .edit[hidden], .style-row[hidden], .plays[hidden] { display: none; }
  .edit input { font: inherit; min-width: 0; padding: 0.3rem; }
  .edit .wide { grid-column: 1 / -1; }
  .detail-buttons { display: flex; gap: 0.4rem; margin-top: 0.4rem; }
  .detail-buttons button { width: auto; padding: 0 0.75rem; }
  .style-row { margin-top: 0.4rem; }
  .style-row select { font: inherit; min-height: 2.2rem; max-width: 100%; }
  .plays-list { margin: 0; padding-left: 1.5rem; overflow-wrap: anywhere; }
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
    <div class="style-row" hidden><label>Random style
      <select class="style-pick"><option value="">every track</option></select></label></div>
    <div id="message" class="message"></div>
  </section>
  <section class="card">
    <h1>Discs</h1>
    <button id="rescan-all" class="rescan-all">Rescan all</button>
    <input id="filter" class="filter" type="search" autocomplete="off"
           placeholder="Filter: artist, title, style, track" aria-label="Filter discs">
    <ul id="discs" class="discs"><li class="small">no discs listed yet</li></ul>
  </section>
  <section class="card plays recent-card" hidden>
    <h1>Recently played</h1>
    <ol class="plays-list recent"></ol>
  </section>
  <section class="card plays most-card" hidden>
    <h1>Most played</h1>
    <ol class="plays-list most"></ol>
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
function changerView(root, paths, onView, index) {
  const $ = (name) => root.querySelector("." + name);
  const tracksOf = new Map();  // slot -> its tracks reply, as opened
  let plays = [];              // the last history's plays, recent and most
  let knownStyles = [];        // the styles zubweb lists for the magazine
  let playedKey = null;        // disc, track and playlist when history was read
  let filterTimer = null;
  let loadedQuery = "";
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
      tracksOf.clear();
      loadDiscs(s.magazine_generation);
    }
    const key = s.disc + "/" + s.track + "/" + s.playlist_pos + "/" + s.status;
    if (key !== playedKey) {
      playedKey = key;
      loadHistory();
    }
  }

  function element(tag, className, text) {
    const e = document.createElement(tag);
    if (className) { e.className = className; }
    if (text !== undefined) { e.textContent = text; }
    return e;
  }

  function button(text, label, onClick) {
    const b = element("button", "", text);
    b.title = label;
    b.setAttribute("aria-label", label);
    b.disabled = !reachable;
    b.addEventListener("click", onClick);
    return b;
  }

  function renderStyles() {
    const pick = $("style-pick");
    const chosen = pick.value;
    const choices = styleChoices(plays, Array.from(tracksOf.values()), knownStyles);
    while (pick.options.length > 1) { pick.remove(1); }
    for (const style of choices) {
      const option = element("option", "", style);
      option.value = style;
      pick.appendChild(option);
    }
    pick.value = choices.includes(chosen) ? chosen : "";
    $("style-row").hidden = choices.length === 0;
  }

  function playLine(p, most) {
    const where = (p.slot ? "Disc " + p.slot : (p.disc_id || "a disc not in the magazine")) +
                  " \u00b7 Track " + p.track + (p.title ? " \u00b7 " + p.title : "");
    const when = new Date(p.played_at * 1000).toLocaleString();
    return most ? p.plays + (p.plays === 1 ? " play: " : " plays: ") + where
                : where + " \u00b7 " + when;
  }

  function renderPlays(history) {
    plays = history.recent.concat(history.most_played);
    for (const [name, list, most] of [["recent", history.recent, false],
                                      ["most", history.most_played, true]]) {
      const ol = $(name);
      ol.textContent = "";
      for (const p of list) { ol.appendChild(element("li", "", playLine(p, most))); }
      $(name + "-card").hidden = list.length === 0;
    }
    renderStyles();
  }

  async function loadStyles() {
    try {
      const reply = await fetch(namesPath(index, "styles"));
      if (reply.ok) {
        knownStyles = (await reply.json()).styles;
        renderStyles();
      }
    } catch (e) { /* the event stream shows the state */ }
  }

  async function loadHistory() {
    try {
      const reply = await fetch(namesPath(index, "history", HISTORY_LIMIT));
      if (reply.ok) { renderPlays(await reply.json()); }
    } catch (e) { /* the event stream shows the state */ }
  }

  // A disc's tracks, with a play button each, and its edit form.
  function renderDetail(detail, d, tracks) {
    detail.textContent = "";
    const list = element("ul", "tracks");
    for (const t of tracks.tracks) {
      const li = element("li");
      li.append(button("\u25b6", "Play disc " + d.slot + " track " + t.track,
                       () => send({ command: "track", disc: d.slot, track: t.track })),
                " ", element("span", "", trackText(t)));
      list.appendChild(li);
    }
    if (tracks.tracks.length === 0) { list.appendChild(element("li", "small", "no tracks")); }
    const form = element("div", "edit");
    form.hidden = true;
    const input = (label, value, wide) => {
      const box = element("input", wide ? "wide" : "");
      box.value = value || "";
      box.placeholder = label;
      box.setAttribute("aria-label", label);
      form.appendChild(box);
      return box;
    };
    const discShown = { artist: d.artist, title: d.title, style: tracks.style };
    const discBoxes = { artist: input("Artist", d.artist, true), title: input("Title", d.title),
                        style: input("Disc style", tracks.style) };
    discBoxes.artist.className = "wide edit-artist";
    const trackBoxes = tracks.tracks.map((t) => ({
      track: t, title: input("Track " + t.track + " title", t.title),
      style: input("Track " + t.track + " style", t.style) }));
    const message = element("div", "message");
    const save = button("Save", "Save the names of disc " + d.slot, async () => {
      const valueOf = (boxes) => Object.fromEntries(
        Object.entries(boxes).filter(([k]) => k !== "track").map(([k, b]) => [k, b.value]));
      const posts = [];
      const discChange = changedNames(discShown, valueOf(discBoxes), ["artist", "title", "style"]);
      if (discChange) { posts.push([namesPath(index, "disc", d.slot), discChange]); }
      for (const boxes of trackBoxes) {
        const change = changedNames(boxes.track, valueOf(boxes), ["title", "style"]);
        if (change) { posts.push([namesPath(index, "track", d.slot, boxes.track.track), change]); }
      }
      for (const [path, body] of posts) {
        if (!(await send(body, path, message))) { return; }
      }
      tracksOf.delete(d.slot);
      discsGeneration = null;
      loadDiscs(current ? current.magazine_generation : null);
    });
    save.classList.add("save");
    form.append(message, save);
    const edit = button("Edit names", "Edit the names of disc " + d.slot, () => {
      form.hidden = !form.hidden;
    });
    edit.classList.add("edit-button");
    const buttons = element("div", "detail-buttons");
    buttons.append(edit);
    if (tracks.style) { detail.appendChild(element("div", "small", "Style: " + tracks.style)); }
    detail.append(list, buttons, form);
  }

  async function toggleDetail(li, d) {
    const next = li.nextElementSibling;
    if (next && next.classList.contains("detail")) {
      next.remove();
      return;
    }
    const detail = element("li", "detail", "loading tracks\u2026");
    li.after(detail);
    try {
      const reply = await fetch(namesPath(index, "tracks", d.slot));
      const tracks = await reply.json();
      if (!reply.ok) {
        detail.textContent = tracks.error || "failed (" + reply.status + ")";
        return;
      }
      tracksOf.set(d.slot, tracks);
      renderDetail(detail, d, tracks);
      renderStyles();
    } catch (e) {
      detail.textContent = "the web remote does not answer";
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
      li.textContent = loadedQuery !== "" ? "no disc matches the filter"
                                          : "no discs: press Scan on the controller";
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
      what.title = "Tracks of disc " + d.slot;
      what.setAttribute("role", "button");
      what.tabIndex = 0;
      what.addEventListener("click", () => toggleDetail(li, d));
      what.addEventListener("keydown", (e) => {
        if (e.key === "Enter") { toggleDetail(li, d); }
      });
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
  // The list holds the filter's discs (all without a filter); a filter
  // typed meanwhile reads it again.
  async function loadDiscs(generation) {
    if (discsLoading) { return; }
    discsLoading = true;
    const query = $("filter").value.trim();
    try {
      const reply = await fetch(namesPath(index, "filter", query));
      if (reply.ok) {
        discs = await reply.json();
        const newMagazine = generation !== discsGeneration;
        discsGeneration = generation;
        loadedQuery = query;
        renderDiscs();
        if (newMagazine) { loadStyles(); }
      }
    } catch (e) { /* the event stream shows the state */ }
    discsLoading = false;
    if ($("filter").value.trim() !== loadedQuery) { loadDiscs(generation); }
  }

  // Posts body; true when done. Errors show in message (the buttons' one
  // by default).
  async function send(body, path = paths.command, message = $("message")) {
    message.textContent = "";
    try {
      const reply = await fetch(path, {
        method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body)
      });
      const answer = await reply.json().catch(() => ({}));
      if (!reply.ok) {
        message.textContent = answer.error || "failed (" + reply.status + ")";
        return false;
      } else if (answer.waiting) {
        message.textContent = answer.waiting;
      }
      return true;
    } catch (e) {
      message.textContent = "the web remote does not answer";
      return false;
    }
  }

  root.querySelectorAll("button[data-command]").forEach((b) => {
    b.addEventListener("click", () => {
      if (b.dataset.command === "shuffle") {
        const request = randomRequest(index, $("style-pick").value);
        send(request.body, request.path);
        return;
      }
      send({ command: b.dataset.command });
    });
  });
  $("filter").addEventListener("input", () => {
    clearTimeout(filterTimer);
    filterTimer = setTimeout(() => {
      loadDiscs(current ? current.magazine_generation : discsGeneration);
    }, 200);
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
  const view = changerView(document.querySelector("main"), changerPaths(-1), () => {}, -1);
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
    return changerView(panel, changerPaths(k), (shown) => { tab.dataset.view = shown; }, k);
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
