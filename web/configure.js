'use strict';

// The settings page. The whole settings value goes back to the program on
// saving, since the program replaces its settings by what it receives: keys
// this page does not know are sent back as they came.

const loadMessage = document.getElementById('load-message');
const form = document.getElementById('settings');
const portInput = document.getElementById('port');
const extensionList = document.getElementById('extensions');
const folderList = document.getElementById('folders');
const saveMessage = document.getElementById('save-message');
const saveButton = document.getElementById('save');

const EXTENSION = { list: extensionList, label: 'Extension', placeholder: 'mp4' };
const FOLDER = { list: folderList, label: 'Folder', placeholder: 'C:\\Users\\Anna\\Videos' };

// Characters that cannot be part of a file name's extension.
const BAD_EXTENSION_CHARACTERS = /[\\/:*?"<>|.\s]/;

let savedConfig = null;

function stringsOf(value) {
  return Array.isArray(value) ? value.filter((item) => typeof item === 'string') : [];
}

async function loadSettings() {
  try {
    const reply = await dbRequest('?getconfig');
    const config = reply.config;
    if (reply.status !== 'ok' || config === null || typeof config !== 'object' || Array.isArray(config)) {
      throw new DbError('Zarudodo Vudade could not give its settings.');
    }
    savedConfig = config;
    fillForm(config);
    showMessage(loadMessage, '', '');
    form.hidden = false;
  } catch (error) {
    showMessage(loadMessage, error.message, 'error');
  }
}

function fillForm(config) {
  portInput.value = typeof config.port === 'number' ? String(config.port) : '';
  fillList(EXTENSION, stringsOf(config.extensions));
  fillList(FOLDER, stringsOf(config.folders));
  markInvalid(null);
}

function fillList(kind, values) {
  kind.list.replaceChildren();
  values.forEach((value) => addRow(kind, value));
}

function addRow(kind, value) {
  const item = document.createElement('li');
  const input = document.createElement('input');
  input.type = 'text';
  input.value = value;
  input.placeholder = kind.placeholder;
  input.autocomplete = 'off';
  input.spellcheck = false;
  input.setAttribute('autocapitalize', 'off');
  const remove = document.createElement('button');
  remove.type = 'button';
  remove.className = 'remove';
  remove.textContent = 'Remove';
  remove.addEventListener('click', () => {
    item.remove();
    numberRows(kind);
  });
  item.append(input, remove);
  kind.list.append(item);
  numberRows(kind);
  return input;
}

function numberRows(kind) {
  kind.list.querySelectorAll('li').forEach((item, index) => {
    item.querySelector('input').setAttribute('aria-label', kind.label + ' ' + (index + 1));
    item.querySelector('button').setAttribute('aria-label', 'Remove ' + kind.label.toLowerCase() + ' ' + (index + 1));
  });
}

function rowInputs(kind) {
  return Array.from(kind.list.querySelectorAll('input'));
}

// A refusal: the message to show and the field to put right.
class Refusal extends Error {
  constructor(message, input) {
    super(message);
    this.input = input;
  }
}

function readPort() {
  const text = portInput.value.trim();
  const port = /^[0-9]{1,5}$/.test(text) ? Number(text) : 0;
  if (port < 1 || port > 65535) {
    throw new Refusal('The port must be a whole number from 1 to 65535.', portInput);
  }
  return port;
}

function readExtensions() {
  const inputs = rowInputs(EXTENSION);
  if (inputs.length === 0) {
    throw new Refusal('Add at least one extension: without one, no file counts as a video.', null);
  }
  const seen = new Set();
  return inputs.map((input, index) => {
    // A leading dot is what people often type; the program adds its own.
    const extension = input.value.trim().replace(/^\.+/, '');
    const name = 'Extension ' + (index + 1);
    if (extension === '') {
      throw new Refusal(name + ' is empty: fill it in or remove it.', input);
    }
    if (BAD_EXTENSION_CHARACTERS.test(extension)) {
      throw new Refusal(name + ' ("' + extension + '") may not hold blanks, dots or any of \\ / : * ? " < > |.', input);
    }
    // The folder search matches extensions exactly, and phones write ".MOV"
    // where other programs write ".mov": both may be wanted.
    if (seen.has(extension)) {
      throw new Refusal('The extension "' + extension + '" is listed twice.', input);
    }
    seen.add(extension);
    return extension;
  });
}

function readFolders() {
  const seen = new Set();
  return rowInputs(FOLDER).map((input, index) => {
    const folder = input.value.trim();
    if (folder === '') {
      throw new Refusal('Folder ' + (index + 1) + ' is empty: fill it in or remove it.', input);
    }
    if (seen.has(folder.toLowerCase())) {
      throw new Refusal('The folder "' + folder + '" is listed twice.', input);
    }
    seen.add(folder.toLowerCase());
    return folder;
  });
}

function markInvalid(field) {
  for (const input of form.querySelectorAll('input')) {
    input.removeAttribute('aria-invalid');
  }
  if (field) {
    field.setAttribute('aria-invalid', 'true');
    field.focus();
  }
}

async function save(event) {
  event.preventDefault();
  let config;
  try {
    config = Object.assign({}, savedConfig, {
      port: readPort(),
      extensions: readExtensions(),
      folders: readFolders(),
    });
  } catch (error) {
    if (!(error instanceof Refusal)) {
      throw error;
    }
    markInvalid(error.input);
    showMessage(saveMessage, error.message + ' Nothing was saved.', 'error');
    return;
  }
  markInvalid(null);
  saveButton.disabled = true;
  showMessage(saveMessage, 'Saving...', '');
  try {
    const reply = await dbRequest('', 'setconfig=&config=' + encodeURIComponent(JSON.stringify(config)));
    if (reply.status === 'ok') {
      showMessage(saveMessage, savedText(savedConfig, config), 'success');
      savedConfig = config;
    } else if (reply.status === 'not saved') {
      // The program uses them all the same, until it ends.
      savedConfig = config;
      showMessage(saveMessage, 'Zarudodo Vudade could not write its settings file: the settings were not saved. ' +
        'They apply until the program ends.', 'error');
    } else if (reply.status === 'syntax error') {
      showMessage(saveMessage, 'Zarudodo Vudade refused the settings (syntax error). Nothing was changed.', 'error');
    } else {
      showMessage(saveMessage, 'Zarudodo Vudade answered "' + String(reply.status) + '". The settings may not have been saved.', 'error');
    }
  } catch (error) {
    showMessage(saveMessage, error.message + ' The settings were not saved.', 'error');
  } finally {
    saveButton.disabled = false;
  }
}

function savedText(before, after) {
  let text = 'Settings saved.';
  if (JSON.stringify(before.folders) !== JSON.stringify(after.folders)) {
    text += ' The folders are being searched again; the list of videos fills in as they are found.';
  } else if (JSON.stringify(before.extensions) !== JSON.stringify(after.extensions)) {
    // The program searches again by itself only when the folders change.
    text += ' The new extensions count from the next search of the folders' +
      ' ("Scan computer for new videos" in the program\'s menu, or when it starts again).';
  }
  if (before.port !== after.port) {
    text += ' The new port takes effect when Zarudodo Vudade starts again.';
  }
  return text;
}

function addAndFocus(kind) {
  addRow(kind, '').focus();
}

form.addEventListener('submit', save);
document.getElementById('add-extension').addEventListener('click', () => addAndFocus(EXTENSION));
document.getElementById('add-folder').addEventListener('click', () => addAndFocus(FOLDER));
document.getElementById('undo').addEventListener('click', () => {
  fillForm(savedConfig);
  showMessage(saveMessage, '', '');
});
loadSettings();
