// placeholder until the setup dialogs arrive
