-- Version 4 (PostgreSQL): the items table goes by a new name, so that a process of an older build
-- still running after this migration fails loudly instead of writing around the collections (its
-- reset deleted every kept collection, its uploads landed outside any).
ALTER TABLE items RENAME TO collected_items;

-- Uploads to an account that has never reset have no collection; a reset deletes them by profile,
-- which without this read every kept item of the profile (on PostgreSQL, of every profile).
CREATE INDEX items_without_collection ON collected_items (profile_id) WHERE collection_id IS NULL;
