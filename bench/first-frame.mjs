// Tap to first frame, then seek to resume, in Debian's Chromium (headless, a
// phone's size, a fresh profile for each try) on both roads of the list page:
// the browser's own HLS and hls.js. Driven by stream-bench.py over standard
// input and output, one JSON object a line:
//   node first-frame.mjs BASE-URL
//   in:  {"road": "native"|"hls.js", "name": NAME, "seekTo": SECONDS}
//   out: {"ready": "tap"} before the tap and {"ready": "seek"} before the
//        seek (the caller marks the server's log and answers with an empty
//        line), then the try's figures.
import readline from 'node:readline';
import { chromium } from 'playwright-core';

const FLAGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];
const PHONE = { width: 390, height: 844 };
const TRY_TIMEOUT_MS = 60000;
// After the first frame the player is left to settle (its repeated first
// requests land) before the seek; after the seek, for its repeated requests.
const SETTLE_MS = 2000;
const AFTER_SEEK_MS = 4000;

const base = process.argv[2];
const input = readline.createInterface({ input: process.stdin })[Symbol.asyncIterator]();
const say = (object) => process.stdout.write(JSON.stringify(object) + '\n');

// Resolves with the milliseconds from the next tap anywhere on the page to
// the first video frame shown after it.
function armFirstFrame() {
  window.firstFrame = new Promise((resolve) => {
    document.addEventListener('click', () => {
      const tapped = performance.now();
      document.getElementById('video').requestVideoFrameCallback((now) => resolve(now - tapped));
    }, { capture: true, once: true });
  });
}

// Milliseconds from setting the position to the first frame shown at or past it.
function seek(to) {
  return new Promise((resolve) => {
    const video = document.getElementById('video');
    const started = performance.now();
    const onFrame = (now, frame) => {
      if (frame.mediaTime >= to - 0.5) {
        resolve(now - started);
      } else {
        video.requestVideoFrameCallback(onFrame);
      }
    };
    video.currentTime = to;
    video.requestVideoFrameCallback(onFrame);
  });
}

async function oneTry(browser, { road, name, seekTo }) {
  const context = await browser.newContext({ viewport: PHONE, isMobile: true, hasTouch: true });
  try {
    const page = await context.newPage();
    page.setDefaultTimeout(TRY_TIMEOUT_MS);
    if (road === 'hls.js') {
      // As a browser without HLS of its own, so that the page takes hls.js.
      await page.addInitScript(() => {
        const canPlayType = HTMLMediaElement.prototype.canPlayType;
        HTMLMediaElement.prototype.canPlayType = function (type) {
          return /mpegurl/i.test(type) ? '' : canPlayType.call(this, type);
        };
      });
    }
    const segments = [];
    let seeking = false;
    page.on('request', (request) => {
      // "/v/NAME/START.ts", "/v/NAME/START-end.ts", or the older "/v/NAME?ss=START".
      const start = /\/(\d+)(?:-end)?\.ts$|[?&]ss=(\d+)/.exec(request.url().split('#')[0]);
      if (start) {
        segments.push((seeking ? 'after seek ' : '') + (start[1] ?? start[2]));
      }
    });
    await page.goto(base + '/');
    const button = page.locator('button.video').filter({ hasText: name });
    await button.waitFor();
    await page.evaluate(armFirstFrame);
    say({ ready: 'tap' });
    await input.next();
    await button.click();
    const firstFrameMs = await page.evaluate(() => window.firstFrame);
    await page.waitForTimeout(SETTLE_MS);
    const startRequests = segments.length;
    say({ ready: 'seek' });
    await input.next();
    seeking = true;
    const seekMs = await page.evaluate(seek, seekTo);
    await page.waitForTimeout(AFTER_SEEK_MS);
    return { firstFrameMs, seekMs, startRequests: segments.slice(0, startRequests),
      seekRequests: segments.slice(startRequests).map((s) => s.replace('after seek ', '')) };
  } finally {
    await context.close();
  }
}

const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: FLAGS });
try {
  for (let line = await input.next(); !line.done; line = await input.next()) {
    const request = JSON.parse(line.value);
    try {
      say(await oneTry(browser, request));
    } catch (error) {
      say({ error: error.message.split('\n')[0] });
    }
  }
} finally {
  await browser.close();
}
