-- Version 4: the items table goes by a new name, so that a process of an older build still running
-- after this migration fails loudly instead of writing around the collections (its reset deleted
-- every kept collection, its uploads landed outside any).
ALTER TABLE items RENAME TO collected_items;
