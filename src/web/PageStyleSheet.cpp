#include "web/WebPages.h"

namespace orvelo::WebPages {

namespace {

// Every page's styles. Each page names itself on its body ("remote-page", ...); a page's own rules
// are scoped with :where(), which adds no weight, so each page cascades exactly as if it held
// only its own rules.
constexpr std::string_view styleSheetText =
    R"CSS(@font-face { font-family: 'Digital7'; src: url('/font/digital-7.ttf') format('truetype'); font-display: swap; }
:root {
  --bg: #0a0a0a; --card: #1a1a1a; --raised: #262626; --text: #f5f5f5; --muted: #9a9a9a;
  --border: #2e2e2e; --accent: #ff6b00; --success: #00c853; --danger: #ff1744;
}
* { box-sizing: border-box; -webkit-tap-highlight-color: transparent; }
html, body { margin: 0; }
body {
  background: var(--bg); color: var(--text); font-family: system-ui, -apple-system, 'Segoe UI', Roboto, sans-serif;
  transition: background .2s;
}
body.light { --bg: #f0f0f0; --card: #ffffff; --raised: #e6e6e6; --text: #141414; --muted: #5c5c5c; --border: #d6d6d6; }

/* Who this browser is to the player: the bar above every page but the login page. */
.session-bar { display: flex; align-items: center; gap: 8px; max-width: var(--page-width, 640px); margin: 0 auto; padding: 8px 14px 0; font-size: 13px; color: var(--muted); }
.session-bar:empty { display: none; }
.session-bar .open-door { flex: 1; display: flex; align-items: center; gap: 8px; padding: 4px 4px 4px 12px; border-radius: 10px;
  border: 1px solid var(--accent); background: rgba(255, 107, 0, .12); color: var(--text); line-height: 1.35; }
.session-bar .open-door span { flex: 1; }
.session-bar a { color: var(--text); font-weight: 700; white-space: nowrap; text-decoration-color: var(--accent); text-decoration-thickness: 2px; }
.session-bar .view-only { padding: 5px 12px; border-radius: 999px; background: var(--accent); color: #000; font-weight: 800; }
.session-bar button { min-width: 36px; min-height: 36px; padding: 0 12px; border-radius: 8px; border: 1px solid var(--border);
  background: var(--card); color: var(--text); font-size: 13px; font-weight: 600; cursor: pointer; }
.session-bar .open-door button { border: none; background: transparent; padding: 0 8px; }
.session-bar .logout { margin-left: auto; }
body.view-only :is(button, input, select, textarea):disabled { opacity: .4; cursor: not-allowed; }

/* A refusal the page has no place of its own for, at the foot of the screen. */
.refusal {
  position: fixed; left: 50%; bottom: calc(16px + env(safe-area-inset-bottom)); transform: translateX(-50%); z-index: 10;
  width: max-content; max-width: calc(100% - 28px); padding: 10px 16px; border-radius: 12px; background: var(--danger);
  color: #fff; font-size: 15px; font-weight: 700; line-height: 1.35; overflow-wrap: anywhere; cursor: pointer;
  box-shadow: 0 4px 18px rgba(0, 0, 0, .5);
}

/* What the pages share. */
.app {
  max-width: var(--page-width, 640px); margin: 0 auto; display: flex; flex-direction: column; gap: 12px;
  padding: calc(12px + env(safe-area-inset-top)) 14px calc(24px + env(safe-area-inset-bottom));
}
header { display: flex; align-items: center; justify-content: space-between; }
.brand { font-size: 24px; font-weight: 800; letter-spacing: .3px; }
.brand span { color: var(--accent); }
h1 { font-size: 24px; margin: 4px 0; }
.back { color: var(--accent); text-decoration: none; font-weight: 600; padding: 8px 0; display: inline-block; }
.ignore {
  width: 100%; min-height: 50px; border-radius: 12px; border: 2px solid var(--border);
  background: var(--card); color: var(--text); font-size: 16px; font-weight: 700; cursor: pointer;
}
.ignore.active { background: var(--accent); border-color: var(--accent); color: #000; }
.ignore:active { transform: scale(.95); }
:where(.settings-page, .effects-page) section { background: var(--card); border: 1px solid var(--border); border-radius: 14px; padding: 14px; }
:where(.settings-page, .effects-page) h2 { font-size: 16px; margin: 0 0 12px; }

/* The remote: transport, timecode and DMX input. */
:where(.remote-page) { --page-width: 540px; }
:where(.remote-page) .icon-button {
  width: 44px; height: 44px; border-radius: 50%; border: 1px solid var(--border);
  background: var(--card); color: var(--text); font-size: 20px; cursor: pointer;
}
:where(.remote-page) .signal {
  display: flex; align-items: center; gap: 14px; background: var(--card);
  border: 1px solid var(--border); border-radius: 12px; padding: 10px 14px;
}
:where(.remote-page) .indicator { display: flex; align-items: center; gap: 7px; font-size: 14px; color: var(--muted); }
:where(.remote-page) .indicator .dot { width: 11px; height: 11px; border-radius: 50%; background: var(--raised); border: 1px solid var(--border); }
:where(.remote-page) .indicator.on { color: var(--text); }
:where(.remote-page) .indicator.on .dot { background: var(--success); border-color: var(--success); box-shadow: 0 0 8px var(--success); }
:where(.remote-page) .dmx { margin-left: auto; font-family: ui-monospace, 'DejaVu Sans Mono', Menlo, monospace; font-size: 15px; font-weight: 700; color: var(--accent); }
:where(.remote-page) .track {
  background: var(--card); border: 1px solid var(--border); border-radius: 16px;
  padding: 16px 18px; display: flex; flex-direction: column; gap: 8px;
}
:where(.remote-page) .track-name { font-size: 20px; font-weight: 700; overflow-wrap: anywhere; min-height: 1.2em; }
:where(.remote-page) .timecode {
  font-family: 'Digital7', ui-monospace, monospace; font-size: clamp(30px, 10.5vw, 54px);
  color: var(--accent); text-align: center; padding: 10px 0 0; white-space: nowrap;
  text-shadow: 0 0 14px rgba(255, 107, 0, .35);
}
body.light:where(.remote-page) .timecode { text-shadow: none; }
:where(.remote-page) .rate { text-align: center; color: var(--muted); font-size: 12px; letter-spacing: 1px; }
:where(.remote-page) .times { display: flex; align-items: center; justify-content: space-between; margin-top: 6px; }
:where(.remote-page) .clock { font-family: 'Digital7', ui-monospace, monospace; font-size: 24px; min-width: 96px; }
:where(.remote-page) .remaining { text-align: right; }
:where(.remote-page) .remaining.warning { color: var(--danger); animation: blink 1s steps(2, start) infinite; }
@keyframes blink { to { opacity: .35; } }
:where(.remote-page) .badge {
  padding: 5px 14px; border-radius: 999px; font-size: 13px; font-weight: 800;
  background: var(--raised); color: var(--muted); text-transform: uppercase; letter-spacing: .5px;
}
:where(.remote-page) .badge.playing { background: var(--success); color: #000; }
:where(.remote-page) .badge.paused { background: var(--accent); color: #000; }
:where(.remote-page) .badge.loading { background: var(--text); color: var(--bg); }
:where(.remote-page) .badge.failed { background: var(--danger); color: #fff; }
:where(.remote-page) .track.failed { border-color: var(--danger); }
:where(.remote-page) .track.failed .timecode { color: var(--muted); text-shadow: none; }
:where(.remote-page) .track-error { color: var(--danger); font-size: 15px; font-weight: 600; overflow-wrap: anywhere; }
:where(.remote-page) .input-note { margin-top: -4px; padding: 6px 12px; border-radius: 10px; border: 1px solid var(--accent);
  background: rgba(255, 107, 0, .12); font-size: 13px; line-height: 1.35; overflow-wrap: anywhere; }
:where(.remote-page) .transport { display: grid; grid-template-columns: repeat(5, 1fr); gap: 8px; position: relative; }
:where(.remote-page) .transport button {
  height: 64px; border-radius: 14px; border: 1px solid var(--border); background: var(--card);
  color: var(--text); font-size: 26px; cursor: pointer; touch-action: manipulation;
}
:where(.remote-page) .transport button:active, :where(.remote-page) nav a:active { transform: scale(.95); }
:where(.remote-page) .transport .play { background: var(--success); border-color: var(--success); color: #000; }
:where(.remote-page) .transport .stop { background: var(--danger); border-color: var(--danger); color: #fff; }
:where(.remote-page) .transport .stop {
  position: relative; overflow: hidden; touch-action: none;
  user-select: none; -webkit-user-select: none; -webkit-touch-callout: none;
}
:where(.remote-page) .transport .stop .fill {
  position: absolute; inset: 0; background: rgba(255, 255, 255, .5);
  transform: scaleX(0); transform-origin: left; transition: transform .15s; pointer-events: none;
}
:where(.remote-page) .transport .stop.holding .fill { transform: scaleX(1); transition: transform .6s linear; }
:where(.remote-page) .transport .stop .icon { position: relative; pointer-events: none; }
:where(.remote-page) .hold-hint {
  position: absolute; left: 50%; bottom: calc(100% + 8px); transform: translateX(-50%);
  padding: 6px 14px; border-radius: 999px; background: var(--text); color: var(--bg);
  font-size: 14px; font-weight: 700; white-space: nowrap; pointer-events: none; opacity: 0; transition: opacity .2s;
}
:where(.remote-page) .hold-hint.shown { opacity: 1; }
:where(.remote-page) nav { display: grid; grid-template-columns: 1fr 1fr; gap: 8px; }
:where(.remote-page) nav a {
  display: flex; align-items: center; justify-content: center; min-height: 52px; border-radius: 12px;
  background: var(--card); border: 1px solid var(--border); color: var(--text);
  text-decoration: none; font-weight: 600;
}
body.offline:where(.remote-page) :is(.track, .signal) { opacity: .5; }
@media (min-width: 700px) {
  :where(.remote-page) .app { padding-top: 32px; }
  :where(.remote-page) .transport button { height: 76px; }
}

/* The playlist: tracks, saved playlists, uploads and the media library. */
:where(.playlist-page) .list { display: flex; flex-direction: column; gap: 8px; }
:where(.playlist-page) .track {
  display: flex; align-items: center; gap: 10px; background: var(--card);
  border: 1px solid var(--border); border-radius: 12px; padding: 10px 10px 10px 12px;
}
:where(.playlist-page) .track.current { border-color: var(--accent); box-shadow: inset 4px 0 0 var(--accent); background: #231508; }
:where(.playlist-page) .number {
  min-width: 30px; height: 30px; border-radius: 8px; background: var(--raised); color: var(--muted);
  display: flex; align-items: center; justify-content: center; font-weight: 700; font-size: 14px;
}
:where(.playlist-page) .track.current .number { background: var(--accent); color: #000; }
:where(.playlist-page) .name { flex: 1; min-width: 0; overflow-wrap: anywhere; font-size: 15px; }
:where(.playlist-page) .buttons { display: flex; gap: 6px; }
:where(.playlist-page) .buttons button {
  width: 42px; height: 42px; border-radius: 10px; border: 1px solid var(--border);
  background: var(--raised); color: var(--text); font-size: 18px; cursor: pointer; touch-action: manipulation;
}
:where(.playlist-page) .buttons button.play { background: var(--success); border-color: var(--success); color: #000; }
:where(.playlist-page) .buttons button:disabled { opacity: .3; cursor: default; }
:where(.playlist-page) .message { text-align: center; color: var(--muted); padding: 32px 12px; background: var(--card); border-radius: 12px; }
:where(.playlist-page) .message.error { color: var(--danger); }
:where(.playlist-page) .details { display: flex; align-items: center; gap: 8px; margin-top: 6px; color: var(--muted); font-size: 13px; }
:where(.playlist-page) .details select { background: var(--raised); color: var(--text); border: 1px solid var(--border); border-radius: 8px; padding: 4px; font-size: 14px; max-width: 84px; }
:where(.playlist-page) .main { flex: 1; min-width: 0; }
@media (max-width: 420px) {
  :where(.playlist-page) .buttons { gap: 4px; }
  :where(.playlist-page) .buttons button { width: 36px; }
  :where(.playlist-page) .details { gap: 4px; }
}
:where(.playlist-page) .buttons button.remove { color: var(--danger); }
:where(.playlist-page) .track.missing { border-color: var(--danger); background: rgba(255, 23, 68, .1); box-shadow: inset 4px 0 0 var(--danger); }
:where(.playlist-page) .track.missing .number { background: var(--danger); color: #fff; }
:where(.playlist-page) .problem { color: var(--danger); font-size: 13px; font-weight: 600; margin-top: 2px; overflow-wrap: anywhere; }
:where(.playlist-page) h2 { font-size: 18px; margin: 14px 0 2px; }
:where(.playlist-page) .panel { background: var(--card); border: 1px solid var(--border); border-radius: 12px; padding: 12px; display: flex; flex-direction: column; gap: 10px; }
:where(.playlist-page) .row { display: flex; gap: 8px; }
:where(.playlist-page) :is(.row input, .row select) { flex: 1; min-width: 0; min-height: 44px; background: var(--raised); color: var(--text); border: 1px solid var(--border); border-radius: 10px; padding: 0 10px; font-size: 16px; }
:where(.playlist-page) .action { min-height: 44px; padding: 0 16px; border-radius: 10px; border: none; background: var(--accent); color: #000; font-weight: 700; font-size: 15px; cursor: pointer; touch-action: manipulation; }
:where(.playlist-page) .action.secondary { background: var(--raised); color: var(--text); border: 1px solid var(--border); }
:where(.playlist-page) .note { font-size: 14px; color: var(--muted); }
:where(.playlist-page) .note.ok { color: var(--success); }
:where(.playlist-page) .note.error { color: var(--danger); }
:where(.playlist-page) .note:empty { display: none; }
:where(.playlist-page) .drop { border: 2px dashed var(--border); border-radius: 12px; padding: 18px 12px; text-align: center; color: var(--muted); cursor: pointer; }
:where(.playlist-page) .drop.over { border-color: var(--accent); color: var(--text); }
:where(.playlist-page) .drop input { display: none; }
:where(.playlist-page) .uploads { display: flex; flex-direction: column; gap: 6px; }
:where(.playlist-page) .upload { font-size: 13px; }
:where(.playlist-page) .upload .bar { height: 8px; border-radius: 4px; background: var(--raised); overflow: hidden; margin-top: 4px; }
:where(.playlist-page) .upload .fill { height: 100%; width: 0; background: var(--accent); transition: width .2s; }
:where(.playlist-page) .upload.done .fill { background: var(--success); }
:where(.playlist-page) :is(.upload.failed .fill, .upload.unplayable .fill) { background: var(--danger); }
:where(.playlist-page) :is(.upload.unplayable .label, .upload.failed .label) { color: var(--danger); }
:where(.playlist-page) .library { display: flex; flex-direction: column; gap: 8px; }
:where(.playlist-page) .media { display: flex; align-items: center; gap: 10px; background: var(--card); border: 1px solid var(--border); border-radius: 12px; padding: 8px; }
:where(.playlist-page) .media img { width: 80px; height: 45px; object-fit: cover; border-radius: 6px; background: var(--raised); flex: none; }
:where(.playlist-page) .media .info { flex: 1; min-width: 0; }
:where(.playlist-page) .media .title { font-size: 15px; overflow-wrap: anywhere; }
:where(.playlist-page) .media .meta { font-size: 12px; color: var(--muted); margin-top: 2px; }
:where(.playlist-page) .media .action { padding: 0 14px; }
:where(.playlist-page) .media .thumb { width: 80px; height: 45px; border-radius: 6px; background: var(--raised); flex: none; display: flex; align-items: center; justify-content: center; font-size: 20px; }
:where(.playlist-page) .media.unplayable { border-color: var(--danger); }
:where(.playlist-page) .media.unplayable .meta { color: var(--danger); }
:where(.playlist-page) .media .action:disabled { opacity: .35; cursor: default; }
:where(.playlist-page) .media .delete { width: 44px; min-height: 44px; padding: 0; border-radius: 10px; border: 1px solid var(--border); background: var(--raised); color: var(--danger); font-size: 18px; cursor: pointer; flex: none; }
@media (min-width: 900px) {
  :where(.playlist-page) { --page-width: 1100px; }
  :where(.playlist-page) .app { display: grid; grid-template-columns: 1fr 1fr; column-gap: 24px; align-items: start; }
  :where(.playlist-page) .app > .full { grid-column: 1 / -1; }
}

/* The settings, saved together from the bar pinned to the foot of the screen. */
:where(.settings-page) .app { padding-bottom: 0; }
:where(.settings-page) [hidden] { display: none !important; }
:where(.settings-page) .grid { display: grid; grid-template-columns: 1fr 1fr; gap: 10px; }
:where(.settings-page) label.field { display: flex; flex-direction: column; gap: 5px; font-size: 13px; color: var(--muted); }
:where(.settings-page) label.field.wide { grid-column: 1 / -1; }
:where(.settings-page) input[type=number], :where(.settings-page) input[type=text], :where(.settings-page) input[type=password],
:where(.settings-page) select {
  width: 100%; min-height: 44px; padding: 8px 10px; border-radius: 10px; border: 1px solid var(--border);
  background: var(--raised); color: var(--text); font-size: 16px;
}
:where(.settings-page) input[readonly] { color: var(--muted); }
:where(.settings-page) :is(input:focus, select:focus) { outline: 2px solid var(--accent); outline-offset: 1px; }
:where(.settings-page) .range { margin-top: 10px; font-size: 14px; color: var(--accent); font-weight: 600; }
:where(.settings-page) .switch {
  display: flex; align-items: center; justify-content: space-between; gap: 12px;
  min-height: 48px; font-size: 15px; border-bottom: 1px solid var(--border);
}
:where(.settings-page) .switch:last-of-type { border-bottom: none; }
:where(.settings-page) .switch input { appearance: none; -webkit-appearance: none; width: 52px; height: 30px; border-radius: 15px;
  background: var(--raised); border: 1px solid var(--border); position: relative; cursor: pointer; flex: none; transition: background .15s; }
:where(.settings-page) .switch input::after { content: ''; position: absolute; top: 3px; left: 3px; width: 22px; height: 22px;
  border-radius: 50%; background: #bbb; transition: left .15s; }
:where(.settings-page) .switch input:checked { background: var(--accent); border-color: var(--accent); }
:where(.settings-page) .switch input:checked::after { left: 25px; background: #fff; }
:where(.settings-page) .row { display: flex; gap: 10px; align-items: flex-end; }
:where(.settings-page) .row label.field { flex: 1; }
:where(.settings-page) .note { font-size: 12px; color: var(--muted); margin: 10px 0 0; }
:where(.settings-page) button.secondary {
  min-height: 44px; padding: 0 16px; border-radius: 10px; border: 1px solid var(--danger);
  background: transparent; color: var(--danger); font-size: 15px; font-weight: 600; cursor: pointer;
}
:where(.settings-page) .actions {
  position: sticky; bottom: 0; display: flex; flex-direction: column; gap: 8px;
  padding: 10px 0 calc(12px + env(safe-area-inset-bottom));
  background: linear-gradient(to top, var(--bg) 75%, rgba(10, 10, 10, 0));
}
:where(.settings-page) #saveButton {
  min-height: 52px; border-radius: 12px; border: none; background: var(--accent); color: #000;
  font-size: 17px; font-weight: 800; cursor: pointer;
}
:where(.settings-page) h3 { font-size: 14px; margin: 18px 0 10px; padding-top: 14px; border-top: 1px solid var(--border); }
:where(.settings-page) .lead { font-size: 14px; color: var(--text); margin: 0 0 12px; line-height: 1.4; }
:where(.settings-page) .buttons { display: flex; flex-wrap: wrap; gap: 10px; margin-top: 12px; }
:where(.settings-page) button.primary {
  min-height: 44px; padding: 0 16px; border-radius: 10px; border: none; background: var(--accent);
  color: #000; font-size: 15px; font-weight: 700; cursor: pointer;
}
:where(.settings-page) .row button { flex: none; }
:where(.settings-page) button.secondary.neutral { border-color: var(--border); color: var(--text); }
:where(.settings-page) .row label.field.narrow { flex: 0 0 124px; }
:where(.settings-page) .tokens { display: flex; flex-direction: column; gap: 8px; margin-bottom: 10px; }
:where(.settings-page) .token { display: flex; align-items: center; gap: 10px; background: var(--raised); border-radius: 10px; padding: 8px 8px 8px 12px; }
:where(.settings-page) .token .who { flex: 1; min-width: 0; overflow-wrap: anywhere; font-weight: 600; }
:where(.settings-page) .token .meta { display: block; font-size: 12px; font-weight: 400; color: var(--muted); }
:where(.settings-page) .new-token { margin-top: 10px; padding: 10px; border: 1px solid var(--success); border-radius: 10px; }
:where(.settings-page) .new-token input { font-family: ui-monospace, 'DejaVu Sans Mono', monospace; font-size: 14px; }
:where(.settings-page) code { font-family: ui-monospace, 'DejaVu Sans Mono', monospace; color: var(--text); overflow-wrap: anywhere; }
:where(.settings-page) .viewer { display: flex; gap: 14px; align-items: flex-start; }
:where(.settings-page) .viewer img { width: 132px; height: 132px; flex: none; background: #fff; border-radius: 8px; padding: 6px; }
:where(.settings-page) .viewer .text { flex: 1; min-width: 0; display: flex; flex-direction: column; gap: 10px; }
:where(.settings-page) .viewer .text button { align-self: flex-start; }
@media (max-width: 420px) {
  :where(.settings-page) .viewer { flex-direction: column; align-items: center; }
  :where(.settings-page) .viewer .text { width: 100%; }
}
:where(.settings-page) .roots { margin: 10px 0 0; padding-left: 20px; font-size: 14px; overflow-wrap: anywhere; font-family: ui-monospace, 'DejaVu Sans Mono', monospace; }
:where(.settings-page) .field-error { color: var(--danger); font-size: 13px; font-weight: 600; overflow-wrap: anywhere; }
:where(.settings-page) .switch + .field-error { display: block; margin: -4px 0 8px; }
:where(.settings-page) [aria-invalid=true] { border-color: var(--danger) !important; outline: 2px solid var(--danger); outline-offset: 1px; }
:where(.settings-page) #status { min-height: 20px; text-align: center; font-size: 14px; color: var(--muted); border-radius: 8px; padding: 2px; }
:where(.settings-page) #status.success { color: #000; background: var(--success); }
:where(.settings-page) #status.error { color: #fff; background: var(--danger); }

/* The effects: the audio-only pattern, the video effects and the colour channels. */
:where(.effects-page) h1 { font-size: 22px; }
:where(.effects-page) .patterns { display: grid; grid-template-columns: 1fr 1fr; gap: 8px; margin-bottom: 14px; }
:where(.effects-page) .patterns button, :where(.effects-page) .toggle, :where(.effects-page) .channel {
  min-height: 46px; border-radius: 10px; border: 1px solid var(--border); background: var(--raised);
  color: var(--text); font-size: 14px; font-weight: 600; cursor: pointer; touch-action: manipulation;
}
:where(.effects-page) .patterns button.selected { background: var(--accent); border-color: var(--accent); color: #000; }
:where(.effects-page) .slider { display: flex; flex-direction: column; gap: 6px; margin: 10px 0 14px; }
:where(.effects-page) .slider .label { display: flex; justify-content: space-between; font-size: 14px; color: var(--muted); }
:where(.effects-page) .slider .value { color: var(--accent); font-weight: 700; font-variant-numeric: tabular-nums; }
:where(.effects-page) input[type=range] { width: 100%; height: 32px; accent-color: var(--accent); margin: 0; }
:where(.effects-page) .toggle { width: 100%; }
:where(.effects-page) .toggle.on { background: var(--accent); border-color: var(--accent); color: #000; }
:where(.effects-page) .channels { display: grid; grid-template-columns: repeat(3, 1fr); gap: 8px; }
:where(.effects-page) .channel { font-size: 20px; font-weight: 800; opacity: .45; }
:where(.effects-page) .channel.on { opacity: 1; color: #000; }
:where(.effects-page) .channel.red.on { background: #ff3b3b; border-color: #ff3b3b; }
:where(.effects-page) .channel.green.on { background: #2ee86b; border-color: #2ee86b; }
:where(.effects-page) .channel.blue.on { background: #3b8bff; border-color: #3b8bff; }
:where(.effects-page) #resetButton {
  min-height: 52px; border-radius: 12px; border: 1px solid var(--danger); background: transparent;
  color: var(--danger); font-size: 16px; font-weight: 700; cursor: pointer;
}

/* The fixture profiles: download cards and the channel chart. */
:where(.fixtures-page) .brand { font-size: 22px; }
:where(.fixtures-page) h1 { font-size: 22px; margin: 6px 0 0; }
:where(.fixtures-page) .intro { color: var(--muted); line-height: 1.5; margin: 0; font-size: 15px; }
:where(.fixtures-page) :is(.card, .profile, .chart, .soon) { background: var(--card); border: 1px solid var(--border); border-radius: 14px; padding: 14px; }
:where(.fixtures-page) :is(.card, .profile) { display: flex; flex-direction: column; gap: 8px; }
:where(.fixtures-page) .card-title { font-weight: 700; font-size: 16px; overflow-wrap: anywhere; }
:where(.fixtures-page) .console { display: inline-block; align-self: flex-start; font-size: 12px; font-weight: 700; color: #000; background: var(--accent); border-radius: 999px; padding: 3px 10px; }
:where(.fixtures-page) .footprint { display: flex; flex-wrap: wrap; gap: 14px; color: var(--muted); font-size: 14px; }
:where(.fixtures-page) .download {
  display: flex; align-items: center; justify-content: center; min-height: 46px; border-radius: 10px;
  background: var(--success); color: #000; font-weight: 700; text-decoration: none;
}
:where(.fixtures-page) .profile { border-color: var(--accent); }
:where(.fixtures-page) .profile-title { font-weight: 700; font-size: 16px; }
:where(.fixtures-page) :is(.profile p, .chart p) { margin: 0; color: var(--muted); font-size: 14px; line-height: 1.5; }
:where(.fixtures-page) .chart { display: flex; flex-direction: column; gap: 12px; }
:where(.fixtures-page) .chart h2 { font-size: 16px; margin: 0; }
:where(.fixtures-page) .chart table { width: 100%; border-collapse: collapse; font-size: 13px; }
:where(.fixtures-page) .chart caption { text-align: left; font-weight: 700; padding: 6px 0; }
:where(.fixtures-page) :is(.chart th, .chart td) { text-align: left; padding: 4px 6px; border-top: 1px solid var(--border); vertical-align: top; }
:where(.fixtures-page) .chart th { color: var(--muted); font-weight: 600; }
:where(.fixtures-page) .chart td:first-child { white-space: nowrap; font-family: monospace; }
:where(.fixtures-page) .soon h2 { font-size: 16px; margin: 0 0 8px; }
:where(.fixtures-page) .soon ul { margin: 0; padding-left: 20px; color: var(--muted); line-height: 1.7; }

/* The login form, alone in the middle of the screen. */
:where(.login-page) .app {
  max-width: 420px; min-height: 100vh; min-height: 100dvh; justify-content: center; gap: 18px;
  padding: calc(20px + env(safe-area-inset-top)) 16px calc(28px + env(safe-area-inset-bottom));
}
:where(.login-page) .brand { font-size: 28px; text-align: center; }
:where(.login-page) form {
  background: var(--card); border: 1px solid var(--border); border-radius: 16px;
  padding: 18px; display: flex; flex-direction: column; gap: 14px;
}
:where(.login-page) h1 { font-size: 20px; margin: 0; }
:where(.login-page) label { display: flex; flex-direction: column; gap: 6px; font-size: 13px; color: var(--muted); }
:where(.login-page) input {
  min-height: 50px; padding: 8px 12px; border-radius: 10px; border: 1px solid var(--border);
  background: var(--raised); color: var(--text); font-size: 17px;
}
:where(.login-page) input:focus { outline: 2px solid var(--accent); outline-offset: 1px; }
:where(.login-page) button {
  min-height: 52px; border-radius: 12px; border: none; background: var(--accent); color: #000;
  font-size: 17px; font-weight: 800; cursor: pointer; touch-action: manipulation;
}
:where(.login-page) button:disabled { opacity: .5; cursor: default; }
:where(.login-page) #error { min-height: 1.3em; color: var(--danger); font-size: 15px; font-weight: 600; line-height: 1.3; }
:where(.login-page) #error:empty { display: none; }
:where(.login-page) .note { color: var(--muted); font-size: 14px; line-height: 1.5; text-align: center; margin: 0; }
)CSS";

} // namespace

const WebAsset& styleSheet()
{
    static const WebAsset asset =
        WebAsset::versioned("pages", "css", "text/css; charset=utf-8", std::string(styleSheetText));
    return asset;
}

} // namespace orvelo::WebPages
