-- Version 2: evaluation profiles expire, sign-in sessions and failure counters live here (so
-- that several service processes on one database agree), and the journal is trimmed by age.
ALTER TABLE profiles ADD COLUMN last_activity INTEGER NOT NULL DEFAULT 0;
CREATE INDEX profiles_by_activity ON profiles (kind, last_activity);

CREATE TABLE sessions (
  token_hash TEXT PRIMARY KEY,
  profile_id INTEGER NOT NULL REFERENCES profiles (id) ON DELETE CASCADE,
  csrf_token TEXT NOT NULL,
  expires INTEGER NOT NULL);
CREATE INDEX sessions_by_expiry ON sessions (expires);

CREATE TABLE signin_failures (
  scope TEXT NOT NULL CHECK (scope IN ('account', 'address')),
  key TEXT NOT NULL,
  window_start INTEGER NOT NULL,
  failures INTEGER NOT NULL,
  PRIMARY KEY (scope, key));

ALTER TABLE journal ADD COLUMN received_at INTEGER NOT NULL DEFAULT 0;
CREATE INDEX journal_by_time ON journal (received_at);
UPDATE journal SET received_at = CAST(strftime('%s', received) AS INTEGER);
