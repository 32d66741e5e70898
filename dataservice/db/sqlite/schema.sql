-- Today's whole schema (version 4), for a new SQLite database. An older database reaches the same
-- through the migrate_v*.sql files; a test holds the two to be equal.
CREATE TABLE allowed_versions (
  major INTEGER NOT NULL, minor INTEGER NOT NULL, rev INTEGER NOT NULL,
  PRIMARY KEY (major, minor, rev));

CREATE TABLE profiles (
  id INTEGER PRIMARY KEY,
  kind TEXT NOT NULL CHECK (kind IN ('subscriber', 'evaluation')),
  name TEXT NOT NULL,
  password_hash TEXT,
  created TEXT NOT NULL,
  last_update TEXT NOT NULL,
  run_started TEXT,
  run_completed TEXT,
  last_activity INTEGER NOT NULL DEFAULT 0,
  current_collection INTEGER,
  UNIQUE (kind, name));
CREATE INDEX profiles_by_activity ON profiles (kind, last_activity);

-- One per run: a reset starts the next, the oldest beyond the kept count go.
CREATE TABLE collections (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  profile_id INTEGER NOT NULL REFERENCES profiles (id) ON DELETE CASCADE,
  started TEXT NOT NULL,
  completed TEXT);
CREATE INDEX collections_by_profile ON collections (profile_id, id);

CREATE TABLE collected_items (
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  profile_id INTEGER NOT NULL REFERENCES profiles (id) ON DELETE CASCADE,
  category TEXT NOT NULL,
  text TEXT NOT NULL,
  config_date TEXT,
  collection_id INTEGER REFERENCES collections (id) ON DELETE CASCADE);
CREATE INDEX items_by_profile ON collected_items (profile_id, seq);
CREATE INDEX items_by_collection ON collected_items (collection_id, seq);
-- Uploads to an account that has never reset, which a reset deletes by profile.
CREATE INDEX items_without_collection ON collected_items (profile_id) WHERE collection_id IS NULL;

CREATE TABLE journal (
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  received TEXT NOT NULL,
  path TEXT NOT NULL,
  page TEXT NOT NULL,
  params TEXT NOT NULL,
  status INTEGER NOT NULL,
  received_at INTEGER NOT NULL DEFAULT 0);
CREATE INDEX journal_by_time ON journal (received_at);

-- Kept by a hash of their token.
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
