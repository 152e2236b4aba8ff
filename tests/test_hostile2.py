from hostile import damaged

damaged(2)
