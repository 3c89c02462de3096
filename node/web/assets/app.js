// The status page's behaviour: polls the node's JSON API each second and shows status, users,
// monitor, counters and log; runs the console behind its login. Every text from the node goes
// in through textContent, never as markup.
"use strict";

(function () {
  const kMonitorLines = 500;
  const kPollMs = 1000;
  const kLogEvery = 2; // ticks between log polls

  const state = {
    monitorStream: 0,
    monitorAfter: 0,
    monitorRound: 0, // rises when the choice of stream changes, so late answers are dropped
    instance: "",
    started: "", // when the node started; a new time means its monitor numbering began again
    token: null,
    consoleShown: "",
    tick: 0,
    busy: {},
  };

  function byId(id) {
    return document.getElementById(id);
  }

  function setText(id, text) {
    const element = byId(id);
    const value = text === null || text === undefined ? "" : String(text);
    if (element.textContent !== value) element.textContent = value;
  }

  // "2026-12-07T22:00:00" as "2026-12-07 22:00:00"; null as the given fallback.
  function when(iso, none) {
    return iso ? String(iso).replace("T", " ") : none;
  }

  function duration(seconds) {
    const s = Math.max(0, Math.floor(Number(seconds) || 0));
    const days = Math.floor(s / 86400);
    const hms = [Math.floor((s % 86400) / 3600), Math.floor((s % 3600) / 60), s % 60]
      .map(function (n, i) { return i === 0 ? String(n) : String(n).padStart(2, "0"); })
      .join(":");
    return days > 0 ? days + "d " + hms : hms;
  }

  // A failed answer, with its HTTP status (401: the node wants a login first).
  class HttpError extends Error {
    constructor(path, status) {
      super(path + ": HTTP " + status);
      this.status = status;
    }
  }

  async function getJson(path) {
    const response = await fetch(path, { credentials: "same-origin", cache: "no-store" });
    if (!response.ok) throw new HttpError(path, response.status);
    return response.json();
  }

  // Radio text ends its lines with CR alone, which a browser shows as a blank.
  function lines(text) {
    return String(text).replace(/\r\n?/g, "\n");
  }

  // POSTs JSON with the session's token; gives the HTTP status and the answer's object.
  async function postJson(path, body) {
    const headers = { "Content-Type": "application/json" };
    if (state.token) headers["X-Gullwick-Token"] = state.token;
    const response = await fetch(path, {
      method: "POST",
      credentials: "same-origin",
      cache: "no-store",
      headers: headers,
      body: JSON.stringify(body || {}),
    });
    let answer = {};
    try {
      answer = await response.json();
    } catch (e) {
      answer = {};
    }
    return { status: response.status, answer: answer };
  }

  // Runs `job` unless the previous run of the same name is still on its way.
  async function once(name, job) {
    if (state.busy[name]) return;
    state.busy[name] = true;
    try {
      await job();
    } finally {
      state.busy[name] = false;
    }
  }

  function showStatus(s) {
    const node = s.node || {};
    setText("node-call", node.call);
    setText("instance", node.instance);
    state.instance = node.instance ? String(node.instance) : "";
    setText("version", node.version);
    setText("uptime", duration(node.uptimeSeconds));
    setText("started", when(node.started, ""));
    if (state.started && node.started && node.started !== state.started) resetMonitor();
    state.started = node.started || state.started;
    document.title = "Gullwick " + (node.call || "");

    const tnc = s.tnc || {};
    setText("tnc-type", tnc.agwAddress ? tnc.type + " at " + tnc.agwAddress : tnc.type);
    setText("tnc-state", tnc.state);
    byId("tnc-state").className = tnc.working ? "good" : "bad";
    setText("tnc-fault", when(tnc.lastFault, "none"));

    const server = s.server || {};
    setText("server-address", server.address);
    showReach(server);
    const link = new Map([["connected", "open, a request on its way"],
                          ["closed", "closed (one per request)"],
                          ["verified", "IP link verified at a user's connect"],
                          ["unreachable", "IP link check failed at a user's connect"],
                          ["idle", "idle, no user connected"]]);
    setText("server-indicator", link.get(server.indicator) || "no request yet");
    byId("server-indicator").className = server.indicator === "unreachable" ? "bad" : "";
    const last = server.lastRequest;
    setText("server-last", last ? last.command + " " + last.outcome + " at " + when(last.at, "")
                                : "none");

    const ip = s.ip || {};
    const dial = ip.mode === "full-time" ? ""
                                         : ip.dialUpConnected ? ", dial-up connected"
                                                              : ", dial-up not connected";
    setText("ip-mode", (ip.mode || "") + dial);
    const ping = ip.lastPing;
    setText("server-ping", !ping ? "no ping yet"
                           : ping.ok ? "OK, " + ping.milliseconds + " ms at " + when(ping.at, "")
                                     : "failed at " + when(ping.at, "") + ": " + ping.failure);
    byId("server-ping").className = !ping ? "" : ping.ok ? "good" : "bad";
    showStreamNames(Array.isArray(s.streamLabels) ? s.streamLabels : []);

    showSpool(s.spool || {});
    const logFile = s.logFile || {};
    setText("log-file", logFile.problem ? "cannot be written: " + logFile.problem
                                        : logFile.file || "");
    byId("log-file").className = logFile.problem ? "bad" : "";

    showStreams(Array.isArray(s.streams) ? s.streams : []);
    showCounters(s.counters || {});
  }

  // The spool's state in words: off, not open, in error, or its figures; and the last repair.
  function showSpool(spool) {
    let text = "off";
    if (spool.state === "unopenable") text = "cannot be opened: " + (spool.problem || "");
    if (spool.state === "ok" || spool.state === "error") {
      text = spool.waiting === null || spool.waiting === undefined
        ? "" : spool.waiting + " waiting" +
               (spool.oldest ? ", oldest since " + when(spool.oldest, "") : "") +
               ", " + spool.setAside + " set aside" +
               (spool.undropped ? ", " + spool.undropped + " sent but not yet dropped" : "");
      if (spool.state === "error") text = "error: " + (spool.problem || "") + (text ? "; " + text : "");
    }
    const repair = spool.repair;
    if (repair)
      text += "; damaged file kept as " + repair.keptAs + " at " + when(repair.at, "") + ": " +
              repair.carried + " carried, " + repair.lost + (repair.moreLost ? "+" : "") + " lost";
    setText("spool", text);
    const bad = spool.state === "error" || spool.state === "unopenable" || repair;
    byId("spool").className = bad ? "bad" : "";
  }

  // Whether the server answers, and since when it has not.
  function showReach(server) {
    const failure = server.lastFailure;
    let text = "no request yet";
    if (server.reachable === true) {
      text = "yes, last answer at " + when(server.lastSuccess, "");
    } else if (server.reachable === false) {
      text = "server unreachable since " + when(server.unreachableSince, "") +
             (failure ? " (last failure at " + when(failure.at, "") + ": " + failure.reason + ")"
                      : "");
    }
    setText("server-reach", text);
    byId("server-reach").className = server.reachable === true ? "good"
                                     : server.reachable === false ? "bad" : "";
  }

  // The monitor's choice names the streams as the radio side does (1/A ...).
  function showStreamNames(labels) {
    const select = byId("monitor-stream");
    labels.forEach(function (label, i) {
      const option = select.querySelector("option[value='" + (i + 1) + "']");
      const text = label ? String(label) : String(i + 1);
      if (option && option.textContent !== text) option.textContent = text;
    });
  }

  const kStreamCells = ["label", "call", "since", "idle", "last", "waiting"];
  const kStreamHeads = ["Stream", "Call", "Connected since", "Idle", "Last command", "Waiting"];

  function showStreams(streams) {
    const body = byId("streams");
    const rows = new Map();
    for (const row of Array.from(body.rows)) rows.set(row.dataset.stream, row);
    streams.forEach(function (entry) {
      const key = String(entry.index);
      let row = rows.get(key);
      if (row) {
        rows.delete(key);
      } else {
        row = document.createElement("tr");
        row.dataset.stream = key;
        kStreamCells.forEach(function (name, i) {
          const cell = document.createElement("td");
          cell.className = name;
          cell.dataset.head = kStreamHeads[i]; // a phone shows each cell under its name
          row.appendChild(cell);
        });
      }
      const texts = [entry.label, entry.call, when(entry.connectedSince, ""),
                     duration(entry.idleSeconds), entry.lastCommand, entry.requestsWaiting];
      texts.forEach(function (text, i) {
        const value = text === null || text === undefined ? "" : String(text);
        if (row.cells[i].textContent !== value) row.cells[i].textContent = value;
      });
      body.appendChild(row); // keeps the node's order
    });
    rows.forEach(function (row) { row.remove(); });
    byId("streams-empty").hidden = streams.length > 0;
  }

  const kCounterNames = [
    ["sessions", "Sessions"],
    ["bytesFromRadio", "Bytes from radio"],
    ["bytesToRadio", "Bytes to radio"],
    ["tncFaults", "TNC faults"],
    ["serverFailures", "Server failures"],
  ];

  // One dt/dd pair per counter; requests as "list.ok" and so on.
  function showCounters(counters) {
    const list = byId("counters");
    const pairs = kCounterNames.map(function (n) { return [n[0], n[1], counters[n[0]]]; });
    (Array.isArray(counters.requests) ? counters.requests : []).forEach(function (r) {
      pairs.push([r.command + "." + r.outcome, "Requests " + r.command + " " + r.outcome,
                  r.count]);
    });
    pairs.forEach(function (pair) {
      let dd = null;
      for (const candidate of list.querySelectorAll("dd")) {
        if (candidate.dataset.counter === pair[0]) dd = candidate;
      }
      if (!dd) {
        const dt = document.createElement("dt");
        dt.textContent = pair[1];
        dd = document.createElement("dd");
        dd.dataset.counter = pair[0];
        list.appendChild(dt);
        list.appendChild(dd);
      }
      const value = String(pair[2] === undefined || pair[2] === null ? 0 : pair[2]);
      if (dd.textContent !== value) dd.textContent = value;
    });
  }

  async function pollStatus() {
    try {
      showStatus(await getJson("/api/status"));
      byId("offline").hidden = true;
      byId("login-needed").hidden = true;
    } catch (e) {
      const login = e instanceof HttpError && e.status === 401;
      byId("login-needed").hidden = !login;
      byId("offline").hidden = login;
    }
  }

  // The node's line already names its stream ("1/A:  ...").
  function monitorLine(line) {
    const item = document.createElement("li");
    item.textContent = lines(line.text);
    return item;
  }

  // Forgets the lines shown; the next poll starts from the node's oldest line.
  function resetMonitor() {
    state.monitorAfter = 0;
    state.monitorRound += 1;
    byId("monitor").replaceChildren();
  }

  async function pollMonitor() {
    const round = state.monitorRound;
    const answer = await getJson("/api/monitor?stream=" + state.monitorStream + "&after=" +
                                 state.monitorAfter);
    if (round !== state.monitorRound) return; // the choice changed on the way
    const list = byId("monitor");
    const shown = Array.isArray(answer.lines) ? answer.lines : [];
    const last = Number(answer.last) || 0;
    if (shown.length === 0 && last < state.monitorAfter) {
      resetMonitor(); // the node started again: its numbering did too
      return;
    }
    const atBottom = list.scrollTop + list.clientHeight >= list.scrollHeight - 4;
    shown.forEach(function (line) { list.appendChild(monitorLine(line)); });
    while (list.childElementCount > kMonitorLines) list.firstElementChild.remove();
    if (shown.length > 0) {
      state.monitorAfter = Number(shown[shown.length - 1].seq) || state.monitorAfter;
      if (atBottom) list.scrollTop = list.scrollHeight;
    } else {
      state.monitorAfter = Math.max(state.monitorAfter, last);
    }
  }

  let logShown = "";

  async function pollLog() {
    const answer = await getJson("/api/log");
    const texts = Array.isArray(answer.lines) ? answer.lines.map(String) : [];
    const failures = new Set(Array.isArray(answer.failures) ? answer.failures : []);
    const key = texts.length + "\n" + (texts.length ? texts[texts.length - 1] : "");
    if (key === logShown) return;
    logShown = key;
    const list = byId("log");
    list.replaceChildren(...texts.map(function (text, i) {
      const item = document.createElement("li");
      item.textContent = lines(text);
      if (failures.has(i)) item.className = "failure";
      return item;
    }));
    list.scrollTop = list.scrollHeight;
  }

  function showLoggedIn(loggedIn) {
    byId("login-form").hidden = loggedIn;
    byId("console-form").hidden = !loggedIn;
    byId("spool-section").hidden = !loggedIn;
    if (!loggedIn) {
      state.token = null;
      state.consoleShown = "";
    }
  }

  async function pollConsole() {
    const c = await getJson("/api/console");
    if (!c.loggedIn) {
      if (state.token) setText("login-error", "The session ended; log in again.");
      else if (c.passwordDamaged === true)
        setText("login-error", "The stored password is damaged; set it again with: brevane " +
                                   "--web-password " + (state.instance || "N"));
      else if (c.passwordSet === false)
        setText("login-error", "No web console password is set; set one with: brevane " +
                                   "--web-password " + (state.instance || "N"));
      showLoggedIn(false);
      return;
    }
    state.token = c.token;
    showLoggedIn(true);
    setText("console-sent", c.command);
    setText("console-reply", lines(c.reply));
  }

  async function logIn(event) {
    event.preventDefault();
    const password = byId("login-password");
    setText("login-error", "");
    byId("login-button").disabled = true;
    try {
      const r = await postJson("/api/login", { password: password.value });
      if (r.status === 200 && r.answer.token) {
        password.value = "";
        state.token = r.answer.token;
        setText("console-error", "");
        showLoggedIn(true);
        await once("console", pollConsole);
      } else {
        setText("login-error", r.answer.error || "Login failed (HTTP " + r.status + ").");
      }
    } catch (e) {
      setText("login-error", "The node did not answer.");
    } finally {
      byId("login-button").disabled = false;
    }
  }

  async function logOut() {
    try {
      await postJson("/api/logout", {});
    } catch (e) {
      // The session is left to expire; the page forgets it either way.
    }
    showLoggedIn(false);
    setText("login-error", "");
  }

  // Shows only the fields the chosen command uses.
  function showCommandFields() {
    const command = byId("console-command").value;
    for (const element of byId("console-form").querySelectorAll("[data-for]")) {
      element.hidden = element.dataset.for.split(" ").indexOf(command) < 0;
    }
  }

  async function send(event) {
    event.preventDefault();
    const command = byId("console-command").value;
    const request = { command: command, call: byId("console-call").value.trim() };
    if (command === "R" || command === "K") request.mid = byId("console-mid").value.trim();
    if (command === "SP") {
      request.to = byId("console-to").value.trim();
      request.subject = byId("console-subject").value;
      request.message = byId("console-message").value;
    }
    setText("console-error", "");
    byId("console-send").disabled = true;
    try {
      const r = await postJson("/api/console", request);
      if (r.status === 401) {
        showLoggedIn(false);
        setText("login-error", r.answer.error || "Log in first.");
      } else if (r.status !== 200 || !r.answer.ok) {
        setText("console-error", r.answer.error || "Refused (HTTP " + r.status + ").");
      } else {
        await once("console", pollConsole);
      }
    } catch (e) {
      setText("console-error", "The node did not answer.");
    } finally {
      byId("console-send").disabled = false;
    }
  }

  const kSpoolCells = ["mid", "from", "to", "subject", "at", "reason"];

  async function pollSpool() {
    const answer = await getJson("/api/spool");
    const rows = Array.isArray(answer.setAside) ? answer.setAside : [];
    byId("spool-list").replaceChildren(...rows.map(function (entry) {
      const row = document.createElement("tr");
      kSpoolCells.forEach(function (name) {
        const cell = document.createElement("td");
        cell.textContent = String(entry[name] === undefined ? "" : entry[name]);
        row.appendChild(cell);
      });
      const actions = document.createElement("td");
      ["retry", "drop"].forEach(function (action) {
        const button = document.createElement("button");
        button.type = "button";
        button.textContent = action === "retry" ? "Retry" : "Drop";
        button.addEventListener("click", function () { spoolAction(action, String(entry.mid)); });
        actions.appendChild(button);
      });
      row.appendChild(actions);
      return row;
    }));
    byId("spool-empty").hidden = rows.length > 0;
    if (answer.error) setText("spool-error", answer.error);
  }

  async function spoolAction(action, mid) {
    setText("spool-error", "");
    try {
      const r = await postJson("/api/spool", { action: action, mid: mid });
      if (r.status !== 200 || !r.answer.ok)
        setText("spool-error", r.answer.error || "Refused (HTTP " + r.status + ").");
      await once("spool", pollSpool);
    } catch (e) {
      setText("spool-error", "The node did not answer.");
    }
  }

  function tick() {
    state.tick += 1;
    once("status", pollStatus);
    once("monitor", function () { return pollMonitor().catch(function () {}); });
    if (state.tick % kLogEvery === 1) once("log", function () { return pollLog().catch(function () {}); });
    if (!byId("console-form").hidden || state.tick % 5 === 1)
      once("console", function () { return pollConsole().catch(function () {}); });
    if (!byId("spool-section").hidden && state.tick % 5 === 2)
      once("spool", function () { return pollSpool().catch(function () {}); });
  }

  function start() {
    byId("monitor-stream").addEventListener("change", function (event) {
      state.monitorStream = Number(event.target.value) || 0;
      resetMonitor();
      once("monitor", function () { return pollMonitor().catch(function () {}); });
    });
    byId("login-form").addEventListener("submit", logIn);
    byId("console-form").addEventListener("submit", send);
    byId("logout-button").addEventListener("click", logOut);
    byId("console-command").addEventListener("change", showCommandFields);
    showCommandFields();
    tick();
    setInterval(tick, kPollMs);
  }

  document.addEventListener("DOMContentLoaded", start);
})();
