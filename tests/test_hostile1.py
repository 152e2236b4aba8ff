from hostile import damaged

damaged(1)
