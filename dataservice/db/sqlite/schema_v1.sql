-- SQLite, version 1 as it was first made; migrate_v2.sql brings it up from there.
CREATE TABLE allowed_versions (
  major INTEGER NOT NULL, minor INTEGER NOT NULL, rev INTEGER NOT NULL,
  PRIMARY KEY (major, minor, rev));

-- Subscriber accounts and evaluation identities share the table but not their names.
CREATE TABLE profiles (
  id INTEGER PRIMARY KEY,
  kind TEXT NOT NULL CHECK (kind IN ('subscriber', 'evaluation')),
  name TEXT NOT NULL,
  password_hash TEXT,
  created TEXT NOT NULL,
  last_update TEXT NOT NULL,
  run_started TEXT,
  run_completed TEXT,
  UNIQUE (kind, name));

CREATE TABLE items (
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  profile_id INTEGER NOT NULL REFERENCES profiles (id) ON DELETE CASCADE,
  category TEXT NOT NULL,
  text TEXT NOT NULL,
  config_date TEXT);
CREATE INDEX items_by_profile ON items (profile_id, seq);

CREATE TABLE journal (
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  received TEXT NOT NULL,
  path TEXT NOT NULL,
  page TEXT NOT NULL,
  params TEXT NOT NULL,
  status INTEGER NOT NULL);
