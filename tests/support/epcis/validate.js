// Checks an EPCIS 2.0 document with epcis2.js: its JSON schema validator,
// and its own CBV 2.0 event hash of every event. Prints one JSON object:
//   {"valid": bool, "errors": [...], "events": [{"eventID": ..., "hash": ...}, ...]}
// Usage: node validate.js DOCUMENT (NODE_PATH names the folder of epcis2.js).
const fs = require('fs');

// epcis2.js takes as a timestamp, to be rewritten in UTC in the pre-hash,
// every value that JavaScript's lenient Date.parse reads as a time: a URI
// ending in "/0001" becomes the year 2001. EPCIS's times are ISO 8601
// (xsd:dateTimeStamp) and nothing else is one, so only those are read here.
const lenientParse = Date.parse;
const isoTime = /^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d+)?(Z|[+-]\d{2}:\d{2})$/;
Date.parse = (text) => (isoTime.test(String(text)) ? lenientParse(text) : NaN);

const epcis = require('epcis2.js');

const document = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
const result = epcis.validateEpcisDocument(document, false);
const events = (document.epcisBody.eventList || []).map((event) => {
  const copy = JSON.parse(JSON.stringify(event));
  return { eventID: event.eventID, hash: epcis.eventToHashedId(copy, {}) };
});
process.stdout.write(JSON.stringify({ valid: result.success, errors: result.errors, events }));
