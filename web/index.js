'use strict';

// The list of videos, and the player. Browsers that play HLS themselves (iOS,
// Android) get the playlist directly; the others play it through hls.js,
// which is loaded only when it is needed.

const HLS_TYPE = 'application/vnd.apple.mpegurl';
const HLS_SCRIPT = 'hls.light.min.js';
// The program's playlists cut videos into segments of this many seconds.
const SEGMENT_SECONDS = 10;

const list = document.getElementById('videos');
const listMessage = document.getElementById('list-message');
const filterInput = document.getElementById('filter');
const reloadButton = document.getElementById('reload');
const playerSection = document.getElementById('player');
const nowPlaying = document.getElementById('now-playing');
const video = document.getElementById('video');
const playerMessage = document.getElementById('player-message');
const closeButton = document.getElementById('close-player');
const titleBar = document.querySelector('.bar');

// Right after the program starts, its folder search may not have found
// anything yet: an empty list is asked for again a few times.
const EMPTY_LIST_RETRY_MS = 5000;
const EMPTY_LIST_RETRIES = 12;

let videoNames = [];
let emptyListRetries = 0;
let retryTimer = null;
let hls = null;
let hlsScript = null;
let mediaRecoveries = 0;

function playlistAddress(name) {
  // encodeURIComponent writes UTF-8 and escapes '+', which the server would
  // otherwise read as a blank.
  return '/v/' + encodeURIComponent(name) + '.m3u8';
}

function sortNames(names) {
  const collator = new Intl.Collator(undefined, { numeric: true, sensitivity: 'base' });
  return names.slice().sort(collator.compare);
}

// What the filter compares, like the sort: without case and accents.
function plainText(text) {
  return text.normalize('NFD').replace(/\p{M}/gu, '').toLocaleLowerCase();
}

async function loadList() {
  clearTimeout(retryTimer);
  reloadButton.disabled = true;
  showMessage(listMessage, 'Loading the videos...', '');
  try {
    const reply = await dbRequest('?getfiles');
    if (reply.status !== 'ok' || !Array.isArray(reply.files)) {
      throw new DbError('Zarudodo Vudade could not give the list of videos.');
    }
    videoNames = sortNames(reply.files.filter((name) => typeof name === 'string'));
    renderList();
    if (videoNames.length === 0 && emptyListRetries < EMPTY_LIST_RETRIES) {
      emptyListRetries += 1;
      retryTimer = setTimeout(loadList, EMPTY_LIST_RETRY_MS);
    }
  } catch (error) {
    videoNames = [];
    list.replaceChildren();
    showMessage(listMessage, error.message, 'error');
  } finally {
    reloadButton.disabled = false;
  }
}

function renderList() {
  const filter = plainText(filterInput.value.trim());
  const shown = videoNames.filter((name) => plainText(name).includes(filter));
  list.replaceChildren(...shown.map(listItem));
  if (videoNames.length === 0) {
    showEmptyListMessage();
  } else if (shown.length === 0) {
    showMessage(listMessage, 'No video name contains "' + filterInput.value.trim() + '".', '');
  } else {
    const count = videoNames.length === 1 ? '1 video' : videoNames.length + ' videos';
    showMessage(listMessage, shown.length === videoNames.length ? count : shown.length + ' of ' + count, '');
  }
}

function showEmptyListMessage() {
  listMessage.replaceChildren(
    'No videos found yet. The program may still be searching the folders: refresh in a moment. ' +
    'If none appear, check the folders and extensions in the ');
  const link = document.createElement('a');
  link.href = 'configure.html';
  link.textContent = 'settings';
  listMessage.append(link, '.');
  listMessage.className = 'message';
  listMessage.hidden = false;
}

function listItem(name) {
  const item = document.createElement('li');
  const button = document.createElement('button');
  button.type = 'button';
  button.className = 'video';
  button.textContent = name;
  button.dataset.name = name;
  if (name === nowPlaying.textContent && !playerSection.hidden) {
    button.setAttribute('aria-current', 'true');
  }
  button.addEventListener('click', () => play(name));
  item.append(button);
  return item;
}

function markPlaying(name) {
  for (const button of list.querySelectorAll('button.video')) {
    if (button.dataset.name === name) {
      button.setAttribute('aria-current', 'true');
    } else {
      button.removeAttribute('aria-current');
    }
  }
}

function stopPlayer() {
  if (hls) {
    hls.destroy();
    hls = null;
  }
  video.pause();
  video.removeAttribute('src');
  video.load();
}

function closePlayer() {
  stopPlayer();
  playerSection.hidden = true;
  markPlaying(null);
}

// The player stops, so that nothing goes on spinning under the message.
function showPlayerError(text) {
  stopPlayer();
  video.hidden = true;
  showMessage(playerMessage, text, 'error');
}

// The status of an address, or 0 when the program cannot be reached. Only
// the head is waited for.
async function statusOf(address) {
  const controller = new AbortController();
  try {
    const response = await fetch(address, { cache: 'no-store', signal: controller.signal });
    return response.status;
  } catch (error) {
    return 0;
  } finally {
    controller.abort();
  }
}

// Why a video failed at the given second, asked of the program itself: gone
// from the computer, unreadable there, or the program out of reach. Null
// when the program gives both the playlist and that part of the video, so
// the trouble lies in playing it.
async function diagnose(name, seconds) {
  const segment = '/v/' + encodeURIComponent(name) + '?ss=' +
    Math.floor(seconds / SEGMENT_SECONDS) * SEGMENT_SECONDS;
  const playlistStatus = await statusOf(playlistAddress(name));
  const status = playlistStatus === 200 ? await statusOf(segment) : playlistStatus;
  if (status === 0) {
    return UNREACHABLE_TEXT;
  }
  if (playlistStatus === 404) {
    return 'This video is no longer on the computer: it was moved, renamed or deleted. ' +
      'Refresh the list to see the videos that are there.';
  }
  if (status !== 200) {
    return 'The computer could not read this video: the file may be damaged, or its format is one ' +
      'the program cannot convert.';
  }
  return null;
}

async function reportFailure(name, seconds, fallback) {
  showPlayerError('Checking what went wrong...');
  const text = (await diagnose(name, seconds)) || fallback;
  if (nowPlaying.textContent === name && !playerSection.hidden) {
    showPlayerError(text);
  }
}

async function play(name) {
  stopPlayer();
  mediaRecoveries = 0;
  nowPlaying.textContent = name;
  showMessage(playerMessage, '', '');
  video.hidden = false;
  playerSection.hidden = false;
  markPlaying(name);
  // Its title must come out below the sticky title bar, not under it.
  playerSection.style.scrollMarginTop = titleBar.offsetHeight + 'px';
  playerSection.scrollIntoView({ block: 'start' });

  const address = playlistAddress(name);
  if (video.canPlayType(HLS_TYPE)) {
    video.src = address;
    startPlayback();
    return;
  }
  let Hls;
  try {
    Hls = await loadHlsScript();
  } catch (error) {
    showPlayerError('The video player (' + HLS_SCRIPT + ') could not be loaded from the computer.');
    return;
  }
  if (nowPlaying.textContent !== name) {
    return; // another video was chosen while the script loaded
  }
  if (!Hls.isSupported()) {
    showPlayerError('This browser cannot play these videos: it has neither HLS nor Media Source Extensions.');
    return;
  }
  hls = new Hls();
  hls.on(Hls.Events.ERROR, (event, data) => onHlsError(Hls, data));
  hls.loadSource(address);
  hls.attachMedia(video);
  startPlayback();
}

function startPlayback() {
  video.play().catch((error) => {
    // A browser that refuses to start on its own leaves the play button to
    // the user; a source that fails is reported by the error handlers.
    if (!['NotAllowedError', 'AbortError', 'NotSupportedError'].includes(error.name)) {
      showPlayerError('The video could not start: ' + error.message);
    }
  });
}

function loadHlsScript() {
  if (window.Hls) {
    return Promise.resolve(window.Hls);
  }
  if (!hlsScript) {
    hlsScript = new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = HLS_SCRIPT;
      script.onload = () => (window.Hls ? resolve(window.Hls) : reject(new Error('no player')));
      script.onerror = () => {
        hlsScript = null;
        script.remove();
        reject(new Error('not loaded'));
      };
      document.head.append(script);
    });
  }
  return hlsScript;
}

function onHlsError(Hls, data) {
  // The program answers a segment with 4xx only when there is nothing to
  // give there; hls.js would go on asking for it.
  const refused = data.details === Hls.ErrorDetails.FRAG_LOAD_ERROR && data.response &&
    data.response.code >= 400 && data.response.code < 500;
  if (!data.fatal && !refused) {
    return;
  }
  if (data.type === Hls.ErrorTypes.MEDIA_ERROR && mediaRecoveries === 0) {
    mediaRecoveries += 1;
    hls.recoverMediaError();
    return;
  }
  const fallback = data.type === Hls.ErrorTypes.NETWORK_ERROR
    ? 'The video could not be loaded from the computer (' + data.details + ').'
    : 'The video could not be played (' + data.details + ').' +
      (data.error && data.error.message ? ' ' + data.error.message : '');
  reportFailure(nowPlaying.textContent, data.frag ? data.frag.start : video.currentTime, fallback);
}

function onVideoError() {
  // With hls.js the video's own errors come through its error event as well.
  if (hls || !video.error || playerSection.hidden) {
    return;
  }
  const texts = {
    [MediaError.MEDIA_ERR_NETWORK]: 'The connection to the computer was lost while loading the video.',
    [MediaError.MEDIA_ERR_DECODE]: 'This browser could not decode the video.',
    [MediaError.MEDIA_ERR_SRC_NOT_SUPPORTED]: 'This browser cannot play the video\'s format.',
  };
  reportFailure(nowPlaying.textContent, video.currentTime, texts[video.error.code] || 'The video could not be played.');
}

video.addEventListener('error', onVideoError);
closeButton.addEventListener('click', closePlayer);
reloadButton.addEventListener('click', loadList);
filterInput.addEventListener('input', renderList);
loadList();
