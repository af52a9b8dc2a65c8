// The page is one more client of varlo-scpi: it sends SCPI lines over its live channel and
// gets one reply for each, in order, while the program pushes what the generator holds.
"use strict";

(function () {
  const byId = (id) => document.getElementById(id);
  const RETRY_MS = 3000;
  const CONSOLE_ENTRIES = 200;
  const QUEUE_DEPTH = 16;

  let socket = null;
  let waiting = [];        // the replies still to come, oldest first
  let held = null;         // the latest status
  let limits = null;       // as the instrument answers FREQ? MIN and the others
  const edited = new Set(); // controls changed by hand since they were last filled

  // Sends one SCPI line; resolves with its reply (null when it had no query).
  function send(line) {
    return new Promise((resolve, reject) => {
      if (!socket || socket.readyState !== WebSocket.OPEN) {
        reject(new Error("not connected to varlo-scpi"));
        return;
      }
      waiting.push({ resolve, reject });
      socket.send(line);
    });
  }

  function connect() {
    byId("connection").textContent = "Connecting to varlo-scpi…";
    socket = new WebSocket((location.protocol === "https:" ? "wss://" : "ws://") +
                           location.host + "/live");
    socket.onopen = () => {
      byId("connection").textContent = "Connected to varlo-scpi.";
      askLimits();
    };
    socket.onmessage = (event) => receive(JSON.parse(event.data));
    socket.onclose = (event) => {
      const lost = waiting;
      waiting = [];
      lost.forEach((reply) => reply.reject(new Error("the connection was lost")));
      byId("connection").textContent = "Not connected to varlo-scpi" +
        (event.reason ? " (" + event.reason + ")" : "") + ". Trying again.";
      setTimeout(connect, RETRY_MS);
    };
  }

  function receive(message) {
    if ("reply" in message) {
      const reply = waiting.shift();
      if (reply) reply.resolve(message.reply);
    } else if (message.status) {
      showStatus(message.status);
    } else if (message.about) {
      show(message.about.shown);
    }
  }

  function askLimits() {
    send("FREQ? MIN;:FREQ? MAX;:FUNC:SQU:DCYC? MIN;:FUNC:SQU:DCYC? MAX").then((reply) => {
      const [fMin, fMax, dMin, dMax] = reply.split(";").map(Number);
      limits = { frequency: [fMin, fMax], duty: [dMin, dMax] };
      byId("duty").min = dMin;
      byId("duty").max = dMax;
    }, () => {});
  }

  // 12500 -> "12.5 kHz"
  function withUnit(hertz) {
    for (const [factor, unit] of [[1e6, "MHz"], [1e3, "kHz"], [1, "Hz"]]) {
      if (hertz >= factor || factor === 1) return Number((hertz / factor).toPrecision(12)) + " " + unit;
    }
    return "";
  }

  // Writes the facts the program pushes into the elements the page was served with them in:
  // {id: text} or {id: [resource, ...]}, each resource an item of code.
  function show(shown) {
    for (const [id, value] of Object.entries(shown)) {
      if (!Array.isArray(value)) {
        byId(id).textContent = value;
        continue;
      }
      byId(id).replaceChildren(...value.map((resource) => {
        const item = document.createElement("li");
        const code = document.createElement("code");
        code.textContent = resource;
        item.append(code);
        return item;
      }));
    }
  }

  function showStatus(status) {
    held = status;
    show(status.shown);
    // While another client holds the generator's lock, its settings alone go, and Enter
    // here is refused.
    byId("settings").classList.toggle("locked", Boolean(status.lock && !status.lock.here));
    fillControls();
  }

  // Puts what the generator holds into the controls the user has not changed.
  function fillControls() {
    if (!held) return;
    if (!edited.has("frequency")) {
      const hertz = Number(held.hertz);
      const [factor, unit] = hertz >= 1e6 ? [1e6, "MHZ"] : hertz >= 1e3 ? [1e3, "KHZ"] : [1, "HZ"];
      byId("frequency").value = String(Number((hertz / factor).toPrecision(12)));
      byId("frequency-unit").value = unit;
    }
    if (!edited.has("waveform")) {
      document.querySelectorAll('input[name="waveform"]').forEach((radio) => {
        radio.checked = radio.value === held.shape;
      });
    }
    if (!edited.has("attenuator")) byId("attenuator").checked = held.attenuator;
    if (!edited.has("duty")) byId("duty").value = held.duty;
  }

  function refuse(control, words) {
    byId(control + "-refusal").textContent = words;
    byId(control).setAttribute("aria-invalid", "true");
  }

  function clearRefusals() {
    for (const control of ["frequency", "attenuator", "duty"]) {
      byId(control + "-refusal").textContent = "";
      byId(control).removeAttribute("aria-invalid");
    }
  }

  // A SYST:ERR? entry as the person at the control reads it.
  function refusalWords(control, entry) {
    const code = parseInt(entry, 10);
    const text = entry.replace(/^-?\d+,"?/, "").replace(/"$/, "");
    if (code === -222 && control === "frequency" && limits)
      return "Not set: out of range. The generator takes " + withUnit(limits.frequency[0]) +
        " to " + withUnit(limits.frequency[1]) + ".";
    if (code === -222 && control === "duty" && limits)
      return "Not set: out of range. The duty cycle goes from " + limits.duty[0] + " to " +
        limits.duty[1] + " %.";
    if (code === -203)
      return "Not set: the generator is " + text.slice(text.indexOf(";") + 1) + ".";
    if (code === -241 || code === -240) {
      const cause = text.includes(";") ? text.slice(text.indexOf(";") + 1) : text;
      return "Not set: the generator's port did not take it (" + cause + ").";
    }
    return "Not set: " + text + " (" + code + ").";
  }

  // Enter: the settings in one line, which the program sends as the panel's Enter does, one
  // frequency command carrying waveform, frequency and attenuator, after the duty command
  // when the duty cycle was changed; a line with a refused setting sends nothing. Then the
  // error queue is read to its end, and each refusal is worded beside the control it is
  // about: a value out of range beside that value, what the port says beside Enter.
  async function enter(event) {
    event.preventDefault();
    clearRefusals();
    byId("enter-result").textContent = "";
    const number = byId("frequency").value.trim();
    if (!/^(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$/.test(number)) {
      refuse("frequency", "Type a number, such as 12.5.");
      byId("frequency").focus();
      return;
    }
    const unit = byId("frequency-unit").value;
    const shape = document.querySelector('input[name="waveform"]:checked');
    const settings = ["APPL:" + (shape ? shape.value : "SIN") + " " + number + " " + unit,
                      "OUTP:ATT " + (byId("attenuator").checked ? 20 : 0)];
    const duty = byId("duty").value.trim();
    if (!held || duty !== String(held.duty)) {
      if (!/^\d+$/.test(duty)) {
        refuse("duty", "Type a whole number of percent.");
        byId("duty").focus();
        return;
      }
      settings.push("FUNC:SQU:DCYC " + duty);
    }
    byId("enter").disabled = true;
    try {
      const errors = await errorsAfter(settings.map((command) => ":" + command).join(";"));
      const hertz = Number(number) * UNIT_FACTORS[unit];
      for (const entry of errors) {
        const control = controlOf(entry, hertz, Number(duty));
        if (control) refuse(control, refusalWords(control, entry));
      }
      const general = errors.filter((entry) => !controlOf(entry, hertz, Number(duty)));
      edited.clear();
      fillControls();
      byId("enter-result").textContent = errors.length === 0 ? "Sent." : general.length ?
        general.map((entry) => refusalWords("enter", entry)).join(" ") : "Nothing was set: see above.";
    } catch (failure) {
      byId("enter-result").textContent = "Not sent: " + failure.message + ".";
    } finally {
      byId("enter").disabled = false;
    }
  }

  const UNIT_FACTORS = { HZ: 1, KHZ: 1e3, MHZ: 1e6 };

  // Sends the line followed by SYST:ERR?, then reads the queue to its end: the entries other
  // than "0,..."; the query after the settings answers once they have gone or been refused.
  async function errorsAfter(line) {
    const errors = [];
    let entry = await send(line + ";:SYST:ERR?");
    for (let read = 0; !entry.startsWith("0,") && read <= QUEUE_DEPTH; read += 1) {
      errors.push(entry);
      entry = await send("SYST:ERR?");
    }
    return errors;
  }

  // The control a refusal is about: an out-of-range value is the one outside the generator's
  // limits; anything else is about the whole Enter.
  function controlOf(entry, hertz, duty) {
    if (parseInt(entry, 10) !== -222 || !limits) return null;
    if (!(hertz >= limits.frequency[0] && hertz <= limits.frequency[1])) return "frequency";
    if (!(duty >= limits.duty[0] && duty <= limits.duty[1])) return "duty";
    return null;
  }

  function log(text, kind) {
    const entry = document.createElement("li");
    entry.className = kind;
    entry.textContent = text;
    const list = byId("console-log");
    list.append(entry);
    while (list.children.length > CONSOLE_ENTRIES) list.firstElementChild.remove();
    list.scrollTop = list.scrollHeight;
  }

  async function sendConsoleLine(event) {
    event.preventDefault();
    const input = byId("console-line");
    const line = input.value;
    if (!line.trim()) return;
    log("> " + line, "sent");
    try {
      const reply = await send(line);
      log(reply === null ? "(no reply)" : reply, "reply");
      for (let read = 0; read <= QUEUE_DEPTH; read += 1) {
        const error = await send("SYST:ERR?");
        log("SYST:ERR? " + error, "error");
        if (error.startsWith("0,")) break;
      }
    } catch (failure) {
      log("Not sent: " + failure.message + ".", "error");
    }
    input.select();
  }

  byId("settings").addEventListener("submit", enter);
  byId("console").addEventListener("submit", sendConsoleLine);
  for (const [id, control] of [["frequency", "frequency"], ["frequency-unit", "frequency"],
                               ["attenuator", "attenuator"], ["duty", "duty"]]) {
    byId(id).addEventListener("input", () => edited.add(control));
    byId(id).addEventListener("change", () => edited.add(control));
  }
  document.querySelectorAll('input[name="waveform"]').forEach((radio) => {
    radio.addEventListener("change", () => edited.add("waveform"));
  });
  connect();
})();
