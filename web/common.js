'use strict';

// Shared by the pages: requests to the program's JSON interface at /db, and
// the message lines under each part of a page.

const REQUEST_TIMEOUT_MS = 15000;

const UNREACHABLE_TEXT =
  'Could not reach Zarudodo Vudade. Check that the program is running on the computer ' +
  'and that this device is on the same network.';

class DbError extends Error {}

// Sends one command; resolves to the parsed reply, or rejects with a DbError
// whose message can be shown as it is.
async function dbRequest(query, body) {
  const controller = new AbortController();
  const timer = setTimeout(() => controller.abort(), REQUEST_TIMEOUT_MS);
  const options = { cache: 'no-store', signal: controller.signal };
  if (body !== undefined) {
    options.method = 'POST';
    options.headers = { 'Content-Type': 'application/x-www-form-urlencoded' };
    options.body = body;
  }
  let response;
  let text;
  try {
    response = await fetch('/db' + query, options);
    text = await response.text();
  } catch (error) {
    throw new DbError(UNREACHABLE_TEXT);
  } finally {
    clearTimeout(timer);
  }
  if (!response.ok) {
    throw new DbError('Zarudodo Vudade answered with an error (' + response.status + ' ' +
      response.statusText + ').');
  }
  let reply;
  try {
    reply = JSON.parse(text);
  } catch (error) {
    throw new DbError('The answer of Zarudodo Vudade could not be read.');
  }
  if (reply === null || typeof reply !== 'object') {
    throw new DbError('The answer of Zarudodo Vudade could not be read.');
  }
  return reply;
}

// kind: '' (plain), 'error' or 'success'. An empty text hides the line.
function showMessage(element, text, kind) {
  element.textContent = text;
  element.hidden = text === '';
  element.className = 'message' + (kind ? ' ' + kind : '');
}
