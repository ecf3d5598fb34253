// placeholder until the exports arrive
