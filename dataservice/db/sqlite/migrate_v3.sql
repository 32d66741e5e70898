-- Version 3: a run's reset starts a new collection instead of deleting the last one, so that a
-- profile keeps its last few inventories and the page can say what changed between them.
CREATE TABLE collections (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  profile_id INTEGER NOT NULL REFERENCES profiles (id) ON DELETE CASCADE,
  started TEXT NOT NULL,
  completed TEXT);
CREATE INDEX collections_by_profile ON collections (profile_id, id);

ALTER TABLE profiles ADD COLUMN current_collection INTEGER;
ALTER TABLE items ADD COLUMN collection_id INTEGER REFERENCES collections (id) ON DELETE CASCADE;
CREATE INDEX items_by_collection ON items (collection_id, seq);

-- What a profile holds already becomes its first collection.
INSERT INTO collections (profile_id, started, completed)
  SELECT id, COALESCE(run_started, last_update), run_completed FROM profiles
  WHERE run_started IS NOT NULL OR EXISTS (SELECT 1 FROM items WHERE items.profile_id = profiles.id);
UPDATE profiles SET current_collection = (SELECT max(id) FROM collections WHERE collections.profile_id = profiles.id);
UPDATE items SET collection_id = (SELECT current_collection FROM profiles WHERE profiles.id = items.profile_id);
